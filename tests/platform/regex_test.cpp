#include "platform/regex.h"

#include <gtest/gtest.h>

namespace larkspur {
namespace {

TEST(Regex, ReplacesEveryMatchLeftToRightAndInvalidInputsChangeNothing) {
  Regex year(" \\d{4}");
  ASSERT_TRUE(year.valid());
  EXPECT_EQ(year.replaceAll("a 1999 b 20001"), "a b1");
  EXPECT_EQ(year.replaceAll(""), "");
  // Outside the BMP, and a replacement longer than the subject.
  EXPECT_EQ(Regex(".\\d").replaceAll("\xF0\x9F\x8E\xB5" "1 ok"), " ok");
  EXPECT_EQ(Regex("x").replaceAll("xxx", "long$1\\"), "long$1\\long$1\\long$1\\");
  // Invalid inputs change nothing.
  EXPECT_EQ(Regex(" \\d{4}").replaceAll("a\xFF 1999"), "a\xFF 1999");
  Regex broken("(unclosed");
  EXPECT_FALSE(broken.valid());
  EXPECT_EQ(broken.replaceAll("(unclosed"), "(unclosed");
}

}  // namespace
}  // namespace larkspur
