// Form1's key listing on a double-byte code page: the count the profile
// service returns is in bytes, the text that comes back in characters.
// This program runs with ANSI_CODEPAGE=932.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Form1.h"
#include "platform/ansi.h"
#include "tests/support/temp_dir.h"

namespace {

using forms::ListBox;
using platform::Text;

class Cp932ListTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(platform::SystemCodePage().Number(), 932u); }

  // Writes section `section` with `names` as its keys, in code page 932.
  void WriteSection(const Text& section, const std::vector<Text>& names) {
    std::string bytes = "[" + platform::ToAnsi(section) + "]\r\n";
    for (const Text& name : names) bytes += platform::ToAnsi(name) + "=1\r\n";
    testing_support::WriteFile(profile, bytes);
  }

  testing_support::TempDir dir;
  std::string profile = dir / "win.ini";
  testing_support::ScopedEnv profileVariable{"WININI", profile};
  Form1 form;
};

TEST_F(Cp932ListTest, ListsExactlyTheJapaneseKeyNames) {
  const std::vector<Text> names = {u"\u30D7\u30EA\u30F3\u30BF", u"\u65E5\u672C\u8A9E",
                                   u"Ne01:", u"\u30DD\u30FC\u30C8\uFF11"};
  WriteSection(u"\u30DD\u30FC\u30C8", names);
  ListBox lst;
  Text section = u"\u30DD\u30FC\u30C8";
  EXPECT_EQ(form.ProfileLoadWinIniList(lst, section), 4);
  EXPECT_EQ(lst.Items(), names);
}

TEST_F(Cp932ListTest, ASectionTooLargeForTheBufferListsEveryWholeNameAndEnds) {
  // Each name: 3 two-byte characters and 4 digits, 10 bytes and a NUL.
  std::vector<Text> names;
  for (int i = 0; i < 2000; ++i) {
    const std::string digits = std::to_string(1000 + i);
    names.push_back(u"\u65E5\u672C\u8A9E" + Text(digits.begin(), digits.end()));
  }
  WriteSection(u"big", names);
  ListBox lst;
  Text section = u"big";
  // 736 whole names take 8096 bytes; the fragment and two NULs fill 8100.
  EXPECT_EQ(form.ProfileLoadWinIniList(lst, section), 736);
  EXPECT_EQ(lst.Items(), std::vector<Text>(names.begin(), names.begin() + 736));
}

}  // namespace
