// The ANSI boundary: code pages, their round trips and replacements, and
// how the system page is chosen.

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/ansi.h"

namespace {

using platform::CodePageFor;
using platform::Text;

const platform::CodePage& Page(std::uint32_t number) {
  const platform::CodePage* page = CodePageFor(number);
  if (page == nullptr) throw std::runtime_error("no code page " + std::to_string(number));
  return *page;
}

// A text and its bytes in one code page.
struct PageCase {
  std::uint32_t page;
  Text text;
  std::string bytes;
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << "page " << c.page; }

class CodePageRoundTrip : public testing::TestWithParam<PageCase> {};

TEST_P(CodePageRoundTrip, EncodesAndDecodesBothWays) {
  const PageCase& c = GetParam();
  EXPECT_EQ(Page(c.page).Encode(c.text), c.bytes);
  EXPECT_EQ(Page(c.page).Decode(c.bytes), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, CodePageRoundTrip,
    testing::Values(
        PageCase{1252, u"caf\u00E9 \u20AC", "caf\xE9 \x80"},
        // The five bytes 1252 leaves unassigned are C1 controls, as on Windows.
        PageCase{1252, u"\u0081\u008D\u008F\u0090\u009D", "\x81\x8D\x8F\x90\x9D"},
        PageCase{1250, u"\u0141\u00F3d\u017A", "\xA3\xF3" "d\x9F"},
        PageCase{1251, u"\u041F\u0440\u0438", "\xCF\xF0\xE8"},
        PageCase{1253, u"\u03A9\u03BC", "\xD9\xEC"},
        PageCase{874, u"\u0E44\u0E17", "\xE4\xB7"},
        // 1258 keeps a base letter and a combining mark apart, as Windows does.
        PageCase{1258, u"Vi\u00EA\u0323t", "Vi\xEA\xF2t"},
        PageCase{932, u"\u65E5\u672C \uFF71", "\x93\xFA\x96\x7B \xB1"},
        PageCase{936, u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},
        PageCase{949, u"\uD55C\uAD6D", "\xC7\xD1\xB1\xB9"},
        PageCase{950, u"\u4E2D\u6587", "\xA4\xA4\xA4\xE5"},
        // NULs and blanks pass unchanged: a buffer converts over its whole length.
        PageCase{932, Text(u"\u65E5\0 \0", 4), std::string("\x93\xFA\0 \0", 5)},
        PageCase{1252, Text(u"a\0b", 3), std::string("a\0b", 3)}));

class EncodeReplacement : public testing::TestWithParam<PageCase> {};

TEST_P(EncodeReplacement, WhatThePageCannotHoldBecomesQuestionMark) {
  EXPECT_EQ(Page(GetParam().page).Encode(GetParam().text), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, EncodeReplacement,
    testing::Values(
        PageCase{1252, u"a\u65E5b", "a?b"},
        // No best fit: look-alikes never become the ASCII they resemble.
        PageCase{1252, u"\uFF3C\uFF02", "??"},
        PageCase{932, u"\u00A5\u203E", "??"},
        PageCase{1251, u"\u00E9", "?"},
        PageCase{1258, u"\u1EC7", "?"},
        // A surrogate pair is one character; a lone surrogate is one too.
        PageCase{1252, u"\U0001F5A8", "?"},
        PageCase{932, u"x\U0001F5A8y", "x?y"},
        PageCase{1252, Text(1, char16_t{0xD800}), "?"}));

class DecodeReplacement : public testing::TestWithParam<PageCase> {};

TEST_P(DecodeReplacement, BytesThatAreNoCharacterBecomeQuestionMarks) {
  EXPECT_EQ(Page(GetParam().page).Decode(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, DecodeReplacement,
    testing::Values(
        PageCase{1253, u"?", "\xAA"},
        // A lead byte never swallows the NUL or the byte after it.
        PageCase{932, Text(u"?\0X", 3), std::string("\x93\0X", 3)},
        PageCase{932, u"a?", "a\x93"},
        PageCase{936, u"?\n", "\x81\n"}));

// 1252 is built in rather than read from iconv: the two must agree on
// every byte iconv knows, and the rest are the C1 controls.
TEST(CodePage, TheBuiltInWesternPageMatchesIconv) {
  iconv_t cd = iconv_open("UTF-16LE", "CP1252");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  int unassigned = 0;
  for (int byte = 0; byte < 256; ++byte) {
    char in = static_cast<char>(byte);
    char* inPtr = &in;
    std::size_t inLeft = 1;
    unsigned char out[4];
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t outLeft = sizeof(out);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const Text ours = Page(1252).Decode(std::string(1, in));
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
      ++unassigned;
      EXPECT_EQ(ours, Text(1, static_cast<char16_t>(byte))) << "byte " << byte;
    } else {
      EXPECT_EQ(ours, Text(1, static_cast<char16_t>(out[0] | (out[1] << 8)))) << "byte " << byte;
    }
    EXPECT_EQ(Page(1252).Encode(ours), std::string(1, in)) << "byte " << byte;
  }
  iconv_close(cd);
  EXPECT_EQ(unassigned, 5);
}

TEST(CodePage, LeadBytesAreThoseOfTwoByteCharacters) {
  EXPECT_TRUE(Page(932).IsLeadByte(0x93));
  EXPECT_FALSE(Page(932).IsLeadByte(0xB1));  // a halfwidth katakana, one byte
  EXPECT_FALSE(Page(932).IsLeadByte('A'));
  EXPECT_TRUE(Page(950).IsLeadByte(0xA4));
  EXPECT_FALSE(Page(1252).IsLeadByte(0x93));
}

TEST(CodePage, UnsupportedNumbersHaveNoPage) {
  EXPECT_EQ(CodePageFor(65001), nullptr);
  EXPECT_EQ(CodePageFor(437), nullptr);
  EXPECT_EQ(CodePageFor(1259), nullptr);
}

TEST(CodePageForLocale, FollowsTheLanguageAndTerritory) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"ja_JP.UTF-8", 932},  {"zh_CN.GB18030", 936}, {"zh_SG", 936},    {"zh_TW.UTF-8", 950},
      {"zh_HK", 950},        {"ko_KR.EUC-KR", 949},  {"pl_PL", 1250},   {"cs_CZ.UTF-8", 1250},
      {"ru_RU.KOI8-R", 1251}, {"uk_UA", 1251},       {"el_GR", 1253},   {"tr_TR", 1254},
      {"he_IL", 1255},       {"ar_EG", 1256},        {"fa_IR", 1256},   {"lt_LT", 1257},
      {"vi_VN", 1258},       {"th_TH", 874},         {"sr_RS", 1251},   {"sr_RS@latin", 1250},
      {"en_US.UTF-8", 1252}, {"de_DE@euro", 1252},   {"C", 1252},       {"POSIX", 1252},
      {"", 1252},
  };
  for (const auto& [locale, page] : cases) {
    EXPECT_EQ(platform::CodePageForLocale(locale), page) << locale;
  }
}

// The system page is decided once per process, so each case runs in a
// fresh process of its own.
struct SystemPageCase {
  const char* ansiCodePage;  // null: unset
  const char* lcAll;
  const char* lcCtype;
  const char* lang;
  std::uint32_t expected;
};

void PrintTo(const SystemPageCase& c, std::ostream* os) { *os << "page " << c.expected; }

class SystemCodePage : public testing::TestWithParam<SystemPageCase> {};

void SetOrUnset(const char* name, const char* value) {
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

TEST_P(SystemCodePage, ComesFromTheLocaleUnlessOverridden) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const SystemPageCase& c = GetParam();
  EXPECT_EXIT(
      {
        SetOrUnset("ANSI_CODEPAGE", c.ansiCodePage);
        SetOrUnset("LC_ALL", c.lcAll);
        SetOrUnset("LC_CTYPE", c.lcCtype);
        SetOrUnset("LANG", c.lang);
        std::fprintf(stderr, "page=%u\n", platform::SystemCodePage().Number());
        std::exit(0);
      },
      testing::ExitedWithCode(0), "page=" + std::to_string(c.expected) + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Environment, SystemCodePage,
    testing::Values(SystemPageCase{"932", nullptr, nullptr, "ru_RU", 932},
                    SystemPageCase{nullptr, "ja_JP.UTF-8", "el_GR", "ru_RU", 932},
                    SystemPageCase{nullptr, "", "el_GR", "ru_RU", 1253},
                    SystemPageCase{nullptr, nullptr, nullptr, "ru_RU.UTF-8", 1251},
                    SystemPageCase{nullptr, nullptr, nullptr, nullptr, 1252},
                    // An override that is not a supported page is ignored.
                    SystemPageCase{"65001", nullptr, nullptr, "ko_KR", 949},
                    SystemPageCase{"932x", nullptr, nullptr, "C", 1252}));

TEST(AnsiPrefixLength, CountsTheCharactersOfTheFirstBytes) {
  const Text text(u"\u65E5\u672C\0a\0", 5);  // 2 + 2 + 1 + 1 + 1 bytes in 932
  EXPECT_EQ(platform::AnsiPrefixLength(text, 7, Page(932)), 5u);
  EXPECT_EQ(platform::AnsiPrefixLength(text, 5, Page(932)), 3u);
  EXPECT_EQ(platform::AnsiPrefixLength(text, 4, Page(932)), 2u);
  // A count that ends inside a character leaves that character out.
  EXPECT_EQ(platform::AnsiPrefixLength(text, 3, Page(932)), 1u);
  EXPECT_EQ(platform::AnsiPrefixLength(text, 100, Page(932)), 5u);
  EXPECT_EQ(platform::AnsiPrefixLength(text, 0, Page(932)), 0u);
  // On a single-byte page a character is a byte.
  EXPECT_EQ(platform::AnsiPrefixLength(u"\u00E9t\u00E9", 2, Page(1252)), 2u);
}

TEST(AnsiArg, StopsAtTheFirstNulAndCanBeNull) {
  const platform::AnsiArg text(Text(u"ab\0cd", 5));
  EXPECT_STREQ(text.get(), "ab");
  const platform::AnsiArg null(nullptr);
  EXPECT_EQ(null.get(), nullptr);
  // A pointer variable that is null is a null argument too, not a crash.
  const char16_t* none = nullptr;
  const platform::AnsiArg nullVariable(none);
  EXPECT_EQ(nullVariable.get(), nullptr);
}

}  // namespace
