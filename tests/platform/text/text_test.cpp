#include <gtest/gtest.h>

#include "platform/text/compare.h"
#include "platform/text/utf.h"

namespace dorvane::text {
namespace {

TEST(InStr, PositionsAreOneBasedInBothModes) {
  struct Case {
    std::int64_t start;
    const char16_t* s;
    const char16_t* find;
    CompareMode mode;
    std::int64_t expected;
  } cases[] = {
      {1, u"!!price,A01;", u",", CompareMode::Text, 8},
      {9, u"!!price,A01;", u";", CompareMode::Text, 12},
      {13, u"!!price,A01;", u";", CompareMode::Text, 0},
      {14, u"!!price,A01;", u";", CompareMode::Text, 0},
      {1, u"abc", u"", CompareMode::Text, 1},
      {4, u"abc", u"", CompareMode::Binary, 4},
      {1, u"GetHere gethere", u"gethere", CompareMode::Binary, 9},
      {1, u"GetHere gethere", u"gethere", CompareMode::Text, 1},
      {1, u"ＡＢＣ", u"ｂ", CompareMode::Text, 2},
      {1, u"ＡＢＣ", u"ｂ", CompareMode::Binary, 0},
      {1, u"a，b", u",", CompareMode::Text, 0},     // full-width comma is another character
      {1, u"x1A-;", u"1a-", CompareMode::Text, 2},  // letters fold beside other characters
  };
  for (const auto& c : cases)
    EXPECT_EQ(InStr(c.start, c.s, c.find, c.mode), c.expected) << toUtf8(c.s);
}

TEST(Utf, RoundTripsAndReplacesBrokenInput) {
  const std::u16string samples[] = {u"", u"abc", u"参照ﾃｰﾌﾞﾙ", u"𠮷野家", u"\0x"};
  for (const auto& s : samples) EXPECT_EQ(fromUtf8(toUtf8(s)), s);
  EXPECT_EQ(fromUtf8("\xff"), u"\xFFFD");
  EXPECT_EQ(fromUtf8("a\xe3\x81"), u"a\xFFFD");
  EXPECT_EQ(fromUtf8("\xc0\x80"), u"\xFFFD");  // overlong NUL
  EXPECT_EQ(toUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
}

}  // namespace
}  // namespace dorvane::text
