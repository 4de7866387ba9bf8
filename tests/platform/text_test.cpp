#include "platform/text.h"

#include <gtest/gtest.h>

namespace larkspur {
namespace {

TEST(Text, Utf8KeepsEveryPlaneInvalidInputBecomesReplacementsAndRemoveAllScansOnce) {
  std::string s = "a\xC3\xA9\xE2\x80\xA2\xF0\x9F\x8E\xB5";  // a é • 🎵
  EXPECT_EQ(fromUtf8(s), u"a\u00E9\u2022\U0001F3B5");
  EXPECT_EQ(toUtf8(fromUtf8(s)), s);
  EXPECT_EQ(fromUtf8("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(fromUtf8("a\xE2\x80"), u"a\uFFFD");       // truncated sequence
  EXPECT_EQ(fromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");   // overlong
  EXPECT_EQ(fromUtf8("\xED\xA0\x80"), u"\uFFFD");     // encoded surrogate
  EXPECT_EQ(toUtf8(Text(u"x") + char16_t(0xD800)), "x\xEF\xBF\xBD");
  EXPECT_EQ(removeAll(u"a Mix b Mix", u" Mix"), u"a b");
  // " M" + "ix" only meet after the removal and stay.
  EXPECT_EQ(removeAll(u"a  M Mixix", u" Mix"), u"a  Mix");
}

}  // namespace
}  // namespace larkspur
