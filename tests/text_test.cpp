// The 1-based text searches and cuts the form's routines are written in.

#include <gtest/gtest.h>

#include "platform/text.h"

namespace {

using platform::Text;

TEST(InStr, FindsOneBasedPositionsOrZero) {
  struct Case {
    std::int32_t start;
    Text text;
    Text find;
    std::int32_t expected;
  };
  const Case cases[] = {
      {1, u"a,b,c", u",", 2}, {3, u"a,b,c", u",", 4}, {5, u"a,b,c", u",", 0},
      {1, u"abc", u",", 0},   {1, u"", u",", 0},      {0, u",x", u",", 1},
      {9, u"a,b", u",", 0},   {1, Text(u"a\0", 2), Text(1, u'\0'), 2},
      // Exact comparison: case matters.
      {1, u"abcB", u"B", 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::InStr(c.start, c.text, c.find), c.expected)
        << "start " << c.start << " in case " << (&c - cases);
  }
}

TEST(LeftAndMid, CutWithinTheText) {
  EXPECT_EQ(platform::Left(u"abc", 2), u"ab");
  EXPECT_EQ(platform::Left(u"abc", 9), u"abc");
  EXPECT_EQ(platform::Left(u"abc", 0), u"");
  EXPECT_EQ(platform::Mid(u"abc", 2), u"bc");
  EXPECT_EQ(platform::Mid(u"abc", 2, 1), u"b");
  EXPECT_EQ(platform::Mid(u"abc", 4), u"");
  EXPECT_EQ(platform::Mid(u"abc", 1, 0), u"");
}

}  // namespace
