// The text rules behind the filter list's cells and the focuser panel's numbers.
#include <gtest/gtest.h>

#include "ui/main/ValueText.h"

namespace kavri::ui {
namespace {

TEST(ParseIntegerTest, OverlongNumbersStayOutOfRange) {
    for (const char* text : {"99999999999999999999999999", "-99999999999999999999999999",
                             "4294967296" /* 0 in 32 bits */}) {
        SCOPED_TRACE(text);
        int64_t v = 0;
        ASSERT_TRUE(ParseInteger(text, true, v));
        EXPECT_FALSE(FitsControllerRange(v));
    }
    EXPECT_FALSE(FitsControllerRange(32768));
    EXPECT_FALSE(FitsControllerRange(-32769));
    EXPECT_TRUE(FitsControllerRange(32767));
    EXPECT_TRUE(FitsControllerRange(-32768));
}

TEST(ParseIntegerTest, TakesOnlyAWholeNumber) {
    int64_t v = -1;
    EXPECT_TRUE(ParseInteger(" 500 ", false, v));
    EXPECT_EQ(v, 500);
    EXPECT_TRUE(ParseInteger("-40000", true, v));
    EXPECT_EQ(v, -40000);
    EXPECT_FALSE(ParseInteger("-5", false, v));
    EXPECT_FALSE(ParseInteger("12abc", true, v));
    EXPECT_FALSE(ParseInteger("-", true, v));
    EXPECT_FALSE(ParseInteger("", true, v));
    EXPECT_FALSE(ParseInteger("1 2", true, v));
    EXPECT_TRUE(ParseInteger("123456789012345678901234567890", true, v));
    EXPECT_FALSE(FitsControllerRange(v));
}

TEST(FocusShiftTextTest, NoneAboveTenThousand) {
    EXPECT_EQ(FocusShiftText(10000), "10000");
    EXPECT_EQ(FocusShiftText(10001), "none");
    EXPECT_EQ(FocusShiftText(-20000), "-20000");
}

}  // namespace
}  // namespace kavri::ui
