// Form1's profile routines and the list box, cross-built for Windows and
// run under Wine against Wine's own GetProfileStringA and
// WriteProfileStringA. The sections used here live in C:\windows\win.ini.
// The program runs once with the system code page 1252 and once with 932;
// the Japanese names need 932 and are skipped otherwise.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Form1.h"
#include "platform/ansi.h"
#include "platform/kernel32.h"

namespace {

using forms::ListBox;
using platform::Text;

Text Ascii(const std::string& text) { return Text(text.begin(), text.end()); }

class Form1UnderWineTest : public testing::Test {
 protected:
  // Makes `section` hold exactly the keys `names`, in that order.
  static void WriteSection(const Text& section, const std::vector<Text>& names) {
    platform::WriteProfileStringA(section, nullptr, nullptr);
    for (const Text& name : names) {
      ASSERT_NE(platform::WriteProfileStringA(section, name, u"1"), 0);
    }
  }

  Form1 form;
};

TEST_F(Form1UnderWineTest, AppendsTheKeyNamesAfterTheItemsTheListHeld) {
  WriteSection(u"dp-two", {u"Alpha", u"beta"});
  ListBox lst;
  for (const char16_t* item : {u"x", u"y", u"z"}) lst.AddItem(item);
  Text section = u"dp-two";
  EXPECT_EQ(form.ProfileLoadWinIniList(lst, section), 5);
  EXPECT_EQ(lst.Items(), (std::vector<Text>{u"x", u"y", u"z", u"Alpha", u"beta"}));
}

TEST_F(Form1UnderWineTest, AnAbsentSectionLeavesTheListAsItWas) {
  ListBox lst;
  Text section = u"dp-absent";
  EXPECT_EQ(form.ProfileLoadWinIniList(lst, section), 0);
  lst.AddItem(u"kept");
  lst.AddItem(u"too");
  EXPECT_EQ(form.ProfileLoadWinIniList(lst, section), 2);
  EXPECT_EQ(lst.Items(), (std::vector<Text>{u"kept", u"too"}));
}

// More names than the 8102-character buffer holds: the list is the whole
// names that fit, in order, and the walk ends.
TEST_F(Form1UnderWineTest, AnOverfullKeyListGivesTheWholeNamesThatFit) {
  std::vector<Text> names;
  for (int i = 0; i < 1100; ++i) names.push_back(Ascii("key" + std::to_string(1000 + i)));
  WriteSection(u"dp-big", names);
  ListBox lst;
  Text section = u"dp-big";
  const std::int32_t count = form.ProfileLoadWinIniList(lst, section);
  // Each name takes 8 bytes with its NUL: 1012 fit in 8100, the 1013th is
  // cut short and dropped.
  EXPECT_EQ(count, 1012);
  ASSERT_EQ(lst.Items().size(), static_cast<std::size_t>(count));
  EXPECT_EQ(lst.Items(), std::vector<Text>(names.begin(), names.begin() + count));
}

TEST_F(Form1UnderWineTest, ListsJapaneseKeyNamesExactlyOnCodePage932) {
  if (platform::SystemCodePage().Number() != 932) {
    GTEST_SKIP() << "the system code page is " << platform::SystemCodePage().Number();
  }
  const std::vector<Text> names = {u"\u30D7\u30EA\u30F3\u30BF", u"\u65E5\u672C\u8A9E", u"Ne01:",
                                   u"\u30DD\u30FC\u30C8\uFF11"};
  WriteSection(u"\u30DD\u30FC\u30C8", names);
  ListBox lst;
  Text section = u"\u30DD\u30FC\u30C8";
  EXPECT_EQ(form.ProfileLoadWinIniList(lst, section), 4);
  EXPECT_EQ(lst.Items(), names);
}

}  // namespace
