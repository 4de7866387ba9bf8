#include "platform/text.h"

#include <gtest/gtest.h>

namespace larkspur {
namespace {

TEST(Text, Utf8RoundTripKeepsEveryPlaneAndInvalidInputBecomesReplacements) {
  std::string s = "a\xC3\xA9\xE2\x80\xA2\xF0\x9F\x8E\xB5";  // a é • 🎵
  Text t = fromUtf8(s);
  EXPECT_EQ(t.size(), 5u);
  EXPECT_EQ(toUtf8(t), s);
  EXPECT_EQ(fromUtf8("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(fromUtf8("a\xE2\x80"), u"a\uFFFD");       // truncated sequence
  EXPECT_EQ(fromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");   // overlong
  EXPECT_EQ(fromUtf8("\xED\xA0\x80"), u"\uFFFD");     // encoded surrogate
  EXPECT_EQ(toUtf8(Text(u"x") + char16_t(0xD800)), "x\xEF\xBF\xBD");
}

TEST(Text, RemoveAllScansOnceWithoutRescanningJoins) {
  EXPECT_EQ(removeAll(u"a Mix b Mix", u" Mix"), u"a b");
  // " M" + "ix" only meet after the removal and stay.
  EXPECT_EQ(removeAll(u"a  M Mixix", u" Mix"), u"a  Mix");
}

}  // namespace
}  // namespace larkspur
