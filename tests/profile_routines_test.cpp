// Form1's profile routines: listing a section's keys into a list box, taking
// items off NUL-separated text, splitting comma-separated fields.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Form1.h"
#include "tests/support/form1_access.h"
#include "tests/support/temp_dir.h"

namespace {

using forms::ListBox;
using platform::Text;

class ProfileLoadWinIniListTest : public testing::Test {
 protected:
  testing_support::TempDir dir;
  std::string profile = dir / "win.ini";
  testing_support::ScopedEnv profileVariable{"WININI", profile};
  Form1 form;
};

TEST_F(ProfileLoadWinIniListTest, AppendsTheKeyNamesAfterWhatTheListHolds) {
  testing_support::WriteFile(profile,
                             "[other]\r\nx=1\r\n[Ports]\r\nNe01:=\r\n; note\r\n LPT1: = 9\r\n");
  ListBox lst;
  for (const Text item : {u"one", u"two", u"three"}) lst.AddItem(item);
  Text section = u"ports";
  EXPECT_EQ(form.ProfileLoadWinIniList(lst, section), 5);
  EXPECT_EQ(lst.Items(), (std::vector<Text>{u"one", u"two", u"three", u"Ne01:", u"LPT1:"}));
  EXPECT_EQ(section, u"ports");
}

TEST_F(ProfileLoadWinIniListTest, AnAbsentOrEmptySectionAppendsNothing) {
  testing_support::WriteFile(profile, "[empty]\r\n[ports]\r\nNe01:=\r\n");
  for (const Text name : {u"absent", u"empty"}) {
    Text section = name;
    ListBox empty;
    EXPECT_EQ(form.ProfileLoadWinIniList(empty, section), 0);
    EXPECT_EQ(empty.ListCount(), 0);
    ListBox three;
    for (const Text item : {u"a", u"b", u"c"}) three.AddItem(item);
    EXPECT_EQ(form.ProfileLoadWinIniList(three, section), 3);
    EXPECT_EQ(three.Items(), (std::vector<Text>{u"a", u"b", u"c"}));
  }
}

TEST_F(ProfileLoadWinIniListTest, ASortedListPlacesTheNamesInItsOrder) {
  testing_support::WriteFile(profile, "[w]\nm=1\nb=2\nz=3\n");
  ListBox lst(/*sorted=*/true);
  lst.AddItem(u"k");
  Text section = u"w";
  EXPECT_EQ(form.ProfileLoadWinIniList(lst, section), 4);
  EXPECT_EQ(lst.Items(), (std::vector<Text>{u"b", u"k", u"m", u"z"}));
}

// More names than the 8102-character buffer holds: the service cuts the
// last one short, and that fragment is no key name.
TEST_F(ProfileLoadWinIniListTest, ASectionTooLargeForTheBufferListsEveryWholeNameAndEnds) {
  std::string bytes = "[big]\r\n";
  std::vector<Text> names;
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "k" + std::to_string(100000 + i);  // 7 characters
    bytes += name + "=" + std::to_string(i) + "\r\n";
    names.emplace_back(name.begin(), name.end());
  }
  testing_support::WriteFile(profile, bytes);
  ListBox lst;
  Text section = u"big";
  // 8 bytes a name with its NUL: 1012 whole names (8096 bytes), then a
  // 4-byte fragment and two NULs make the 8100 the service reports.
  EXPECT_EQ(form.ProfileLoadWinIniList(lst, section), 1012);
  ASSERT_EQ(lst.Items().size(), 1012u);
  EXPECT_EQ(lst.Items(), std::vector<Text>(names.begin(), names.begin() + 1012));
}

TEST_F(ProfileLoadWinIniListTest, AListThatFillsUpRaisesAndKeepsWhatWasAdded) {
  testing_support::WriteFile(profile, "[w]\nfirst=1\nsecond=2\nthird=3\n");
  ListBox lst;
  for (int i = 0; i < ListBox::kMaxItems - 1; ++i) lst.AddItem(u"x");
  Text section = u"w";
  EXPECT_THROW(form.ProfileLoadWinIniList(lst, section), forms::FrameworkError);
  EXPECT_EQ(lst.ListCount(), ListBox::kMaxItems);
  EXPECT_EQ(lst.List(ListBox::kMaxItems - 1), u"first");
}

struct NextItemCase {
  const char* name;
  Text text;
  Text item;
  Text rest;
};

void PrintTo(const NextItemCase& c, std::ostream* os) { *os << c.name; }

class ProfileNextListItem : public testing::TestWithParam<NextItemCase> {};

TEST_P(ProfileNextListItem, TakesTheItemBeforeTheFirstNul) {
  Form1 form;
  Text text = GetParam().text;
  EXPECT_EQ(Form1TestAccess::ProfileNextListItem(form, text), GetParam().item);
  EXPECT_EQ(text, GetParam().rest);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ProfileNextListItem,
    testing::Values(
        NextItemCase{"FirstOfTwo", Text(u"Ne01:\0LPT1:\0", 12), u"Ne01:", Text(u"LPT1:\0", 6)},
        NextItemCase{"SecondOfTwo", Text(u"LPT1:\0", 6), u"LPT1:", u""},
        NextItemCase{"LeadingNul", Text(u"\0a\0", 3), u"", Text(u"a\0", 2)},
        NextItemCase{"NoNul", u"cut sho", u"", u"cut sho"},
        NextItemCase{"Empty", u"", u"", u""}),
    [](const testing::TestParamInfo<NextItemCase>& info) { return info.param.name; });

struct SplitCase {
  const char* name;
  Text value;
  Text first;
  Text second;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class ProfileSplitFields : public testing::TestWithParam<SplitCase> {};

TEST_P(ProfileSplitFields, GivesTheFirstTwoCommaSeparatedFields) {
  Form1 form;
  Text first = u"stale";
  Text second = u"stale";
  Form1TestAccess::ProfileSplitFields(form, GetParam().value, first, second);
  EXPECT_EQ(first, GetParam().first);
  EXPECT_EQ(second, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProfileSplitFields,
    testing::Values(SplitCase{"DeviceLine", u"Quillmarex,winspool,Ne01:", u"Quillmarex", u"winspool"},
                    SplitCase{"OneComma", u"winspool,Ne01:", u"winspool", u""},
                    SplitCase{"LeadingComma", u",winspool,Ne01:", u"", u"winspool"},
                    SplitCase{"AdjacentCommas", u"a,,b", u"a", u""},
                    SplitCase{"NoComma", u"Quillmarex", u"", u""},
                    SplitCase{"Empty", u"", u"", u""},
                    SplitCase{"BlanksKept", u" a , b ,c", u" a ", u" b "}),
    [](const testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

}  // namespace
