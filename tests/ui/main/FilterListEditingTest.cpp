// The text rules behind the filter list's cells.
#include <gtest/gtest.h>

#include "ui/main/FilterListEditing.h"

namespace kavri::ui {
namespace {

TEST(LeadingIntegerTest, ReadsTheNumberAtTheStart) {
    EXPECT_EQ(LeadingInteger("123"), 123);
    EXPECT_EQ(LeadingInteger("  -45abc"), -45);
    EXPECT_EQ(LeadingInteger("+7"), 7);
    EXPECT_EQ(LeadingInteger("abc"), 0);
    EXPECT_EQ(LeadingInteger(""), 0);
    EXPECT_EQ(LeadingInteger("- 5"), 0);
    EXPECT_EQ(LeadingInteger("12 34"), 12);
}

TEST(LeadingIntegerTest, OverlongNumbersStayOutOfRange) {
    EXPECT_FALSE(FitsControllerRange(LeadingInteger("99999999999999999999999999")));
    EXPECT_FALSE(FitsControllerRange(LeadingInteger("-99999999999999999999999999")));
    EXPECT_FALSE(FitsControllerRange(LeadingInteger("4294967296")));  // 0 in 32 bits
    EXPECT_FALSE(FitsControllerRange(32768));
    EXPECT_FALSE(FitsControllerRange(-32769));
    EXPECT_TRUE(FitsControllerRange(32767));
    EXPECT_TRUE(FitsControllerRange(-32768));
}

TEST(FocusShiftTextTest, NoneAboveTenThousand) {
    EXPECT_EQ(FocusShiftText(10000), "10000");
    EXPECT_EQ(FocusShiftText(10001), "none");
    EXPECT_EQ(FocusShiftText(-20000), "-20000");
}

TEST(ControllerNameTest, CutsAtWholeCharacters) {
    EXPECT_EQ(ControllerName("Luminance12", 8), "Luminanc");
    EXPECT_EQ(ControllerName("Ha", 8), "Ha");
    // Two bytes per Cyrillic letter: four letters fit, never half of a fifth.
    EXPECT_EQ(ControllerName(QStringLiteral("Водород"), 8), "Водо");
    EXPECT_EQ(ControllerName(QStringLiteral("aВодород"), 8), "aВод");
    EXPECT_EQ(ControllerName(QString(), 8), "");
}

}  // namespace
}  // namespace kavri::ui
