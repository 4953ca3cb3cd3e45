// Reading and editing win.ini text: one line changes or is added, every
// other byte stays.

#include <gtest/gtest.h>

#include <optional>

#include "platform/posix/profile_document.h"

namespace {

using platform::posix::ProfileDocument;

const platform::CodePage& Page(std::uint32_t number) { return *platform::CodePageFor(number); }

struct SetCase {
  const char* name;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

void PrintTo(const SetCase& c, std::ostream* os) { *os << c.name; }

class SetValue : public testing::TestWithParam<SetCase> {};

TEST_P(SetValue, ChangesOrAddsOneLineOnly) {
  const SetCase& c = GetParam();
  const ProfileDocument document(c.before, Page(1252));
  EXPECT_EQ(document.WithValue(c.section, c.key, c.value), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, SetValue,
    testing::Values(
        SetCase{"ReplacesTheValueKeepingCrLf", "[windows]\r\nDevice=old\r\nx=1\r\n", "windows",
                "Device", "new", "[windows]\r\nDevice=new\r\nx=1\r\n"},
        SetCase{"KeepsTheKeysOwnSpellingAndSpacing", "[Windows]\nload=\n device = old  \n",
                "windows", "Device", "new", "[Windows]\nload=\n device = new\n"},
        SetCase{"ReplacesAQuotedValue", "[w]\nk=\"old\"\n", "w", "k", "new", "[w]\nk=new\n"},
        SetCase{"KeepsAMissingFinalLineEnd", "[w]\nk=old", "w", "k", "new", "[w]\nk=new"},
        SetCase{"WritesOnlyTheFirstOfDuplicateKeys", "[w]\nk=1\nk=2\n", "w", "k", "3",
                "[w]\nk=3\nk=2\n"},
        SetCase{"WritesOnlyTheFirstOfDuplicateSections", "[w]\na=1\n[w]\nk=2\n", "w", "k", "3",
                "[w]\na=1\nk=3\n[w]\nk=2\n"},
        SetCase{"AddsAKeyAfterTheLastKeyOfItsSection",
                "[w]\r\na=1\r\n; note\r\nb=2\r\n\r\n[next]\r\nc=3\r\n", "w", "k", "v",
                "[w]\r\na=1\r\n; note\r\nb=2\r\nk=v\r\n\r\n[next]\r\nc=3\r\n"},
        SetCase{"AddsAKeyAfterAHeaderWithNoKeys", "[w]\n\n[n]\n", "w", "k", "v",
                "[w]\nk=v\n\n[n]\n"},
        SetCase{"AddsAKeyToALastLineWithoutLineEnd", "[w]\na=1", "w", "k", "v",
                "[w]\na=1\nk=v"},
        SetCase{"AddsASectionAtTheEnd", "; c\n[a]\nx=1\n", "w", "k", "v",
                "; c\n[a]\nx=1\n[w]\nk=v\n"},
        SetCase{"AddsASectionAfterALastLineWithoutLineEnd", "[a]\r\nx=1", "w", "k", "v",
                "[a]\r\nx=1\r\n[w]\r\nk=v"},
        SetCase{"WritesANewFileWithCrLf", "", "windows", "Device", "v",
                "[windows]\r\nDevice=v\r\n"},
        SetCase{"UsesLoneCrWhereTheFileDoes", "[a]\rx=1\r", "a", "k", "v", "[a]\rx=1\rk=v\r"},
        SetCase{"KeepsBytesOfOtherCodePagesAndLinesItDoesNotKnow",
                "\xff\xfe junk\n[w]\nnot a key\n\x93\xfa=\xe9\n", "w", "k", "v",
                "\xff\xfe junk\n[w]\nnot a key\n\x93\xfa=\xe9\nk=v\n"},
        SetCase{"TreatsAHeaderWithoutBracketAsAnUnknownLine", "[w\nk=1\n", "w", "k", "v",
                "[w\nk=1\n[w]\nk=v\n"},
        SetCase{"IgnoresKeysBeforeAnySection", "k=1\n[w]\n", "w", "k", "v", "k=1\n[w]\nk=v\n"},
        SetCase{"KeepsAnEmptyValueLineShape", "[w]\nk=\n", "w", "k", "v", "[w]\nk=v\n"},
        SetCase{"KeepsNulBytesElsewhere", std::string("[a]\nx=\0\n[w]\nk=1\n", 16), "w", "k",
                "2", std::string("[a]\nx=\0\n[w]\nk=2\n", 16)}),
    [](const testing::TestParamInfo<SetCase>& info) { return info.param.name; });

TEST(RemoveKey, RemovesItsWholeLineOnly) {
  const std::string bytes = "[w]\r\na=1\r\nk=2\r\nb=3\r\n";
  const ProfileDocument document(bytes, Page(1252));
  EXPECT_EQ(document.WithoutKey("W", "K"), "[w]\r\na=1\r\nb=3\r\n");
  EXPECT_EQ(document.WithoutKey("w", "absent"), bytes);
  EXPECT_EQ(document.WithoutKey("absent", "k"), bytes);
}

TEST(RemoveSection, RemovesItsHeaderAndKeysButNotWhatSetsItApart) {
  const std::string bytes = "[a]\nx=1\n[w]\nk=1\n;c\nm=2\n\n;next\n[b]\ny=2\n";
  const ProfileDocument document(bytes, Page(1252));
  EXPECT_EQ(document.WithoutSection("w"), "[a]\nx=1\n\n;next\n[b]\ny=2\n");
  EXPECT_EQ(document.WithoutSection("absent"), bytes);
}

TEST(Value, ReadsTheFirstMatchTrimmedWithoutQuotes) {
  const std::string bytes =
      "[Windows]\n  DEVICE =  a,b , c  \nq=\"quoted \"\ns='x'\nhalf=\"x\n[windows]\nother=1\n";
  const ProfileDocument document(bytes, Page(1252));
  EXPECT_EQ(document.Value("windows", "device"), "a,b , c");
  EXPECT_EQ(document.Value("windows", "q"), "quoted ");
  EXPECT_EQ(document.Value("windows", "s"), "x");
  EXPECT_EQ(document.Value("windows", "half"), "\"x");
  EXPECT_EQ(document.Value("windows", "other"), std::nullopt);
  EXPECT_EQ(document.Value("absent", "device"), std::nullopt);
}

std::vector<std::string> KeyNames(const ProfileDocument& document, const char* section) {
  std::vector<std::string> names;
  document.VisitKeyNames(section, [&](std::string_view name) {
    names.emplace_back(name);
    return true;
  });
  return names;
}

TEST(KeyNames, ListsKeyLinesOfTheFirstMatchingSectionInOrder) {
  const std::string bytes = "[w]\nb=1\n;c=2\nnot a key\n=empty name\n a =3\nb=4\n[W]\nz=1\n";
  const ProfileDocument document(bytes, Page(1252));
  EXPECT_EQ(KeyNames(document, "W"), (std::vector<std::string>{"b", "a", "b"}));
  EXPECT_TRUE(KeyNames(document, "absent").empty());
}

TEST(DoubleBytePage, ABracketThatIsHalfACharacterDoesNotEndTheName) {
  // In 932, 0x83 0x5D is a katakana whose second byte is "]".
  const std::string bytes = "[\x83\x5D]\nk=1\n";
  const ProfileDocument document(bytes, Page(932));
  EXPECT_EQ(document.Value("\x83\x5D", "k"), "1");
  // Read as 1252 the same header names "\x83".
  const ProfileDocument western(bytes, Page(1252));
  EXPECT_EQ(western.Value("\x83", "k"), "1");
}

TEST(NamesEqual, FoldsCaseButNotTheBytesOfTwoByteCharacters) {
  const ProfileDocument japanese("", Page(932));
  EXPECT_TRUE(japanese.NamesEqual("Device", "dEVICE"));
  // 0x83 0x41 and 0x83 0x61 are different katakana, not a case pair.
  EXPECT_FALSE(japanese.NamesEqual("\x83\x41", "\x83\x61"));
  EXPECT_TRUE(japanese.NamesEqual("\x83\x41", "\x83\x41"));
  const ProfileDocument western("", Page(1252));
  EXPECT_TRUE(western.NamesEqual("caf\xC9", "caf\xE9"));  // É and é
  EXPECT_FALSE(western.NamesEqual("Device", "Devic"));
}

}  // namespace
