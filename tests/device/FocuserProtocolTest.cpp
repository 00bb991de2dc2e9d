#include <gtest/gtest.h>

#include <climits>

#include "device/FocuserMoveLimit.h"

namespace kavri {
namespace {

TEST(FocuserMoveLimit, DistanceAtSpeedPlusBacklashPlusTwoSeconds) {
    EXPECT_EQ(FocuserMoveLimitMs(0, 1000, 100, 20), 12220);
    // Speeds above 300 count as 300: 1000 × 3.333… + 2000, truncated.
    EXPECT_EQ(FocuserMoveLimitMs(0, 1000, 1000, 0), 5333);
    EXPECT_EQ(FocuserMoveLimitMs(0, 1000, 301, 0), 5333);
    EXPECT_EQ(FocuserMoveLimitMs(0, 1000, 300, 0), 5333);
    // Direction does not matter; no distance leaves 2000 ms and the backlash.
    EXPECT_EQ(FocuserMoveLimitMs(1000, 0, 100, 20), 12220);
    EXPECT_EQ(FocuserMoveLimitMs(500, 500, 100, 20), 2220);
    EXPECT_EQ(FocuserMoveLimitMs(-500, 500, 250, 0), 6000);
}

TEST(FocuserMoveLimit, ExtendedPrecisionTruncation) {
    // 3 × (1000 / 300) is 10 in exact arithmetic; extended precision must not let it fall to
    // 9.999… and lose a millisecond.
    EXPECT_EQ(FocuserMoveLimitMs(0, 3, 300, 0), 2010);
    EXPECT_EQ(FocuserMoveLimitMs(0, 300, 300, 0), 3000);
    EXPECT_EQ(FocuserMoveLimitMs(0, 7, 300, 0), 2023);  // 23.33…
}

TEST(FocuserMoveLimit, ZeroSpeedAndExtremesStayBounded) {
    // Speed 0 is computed as 10 steps per second instead of dividing by zero.
    EXPECT_EQ(FocuserMoveLimitMs(0, 1000, 0, 0), FocuserMoveLimitMs(0, 1000, 10, 0));
    EXPECT_EQ(FocuserMoveLimitMs(0, 1000, 0, 0), 102000);
    EXPECT_EQ(FocuserMoveLimitMs(0, 0, 0, 65535), 2000 + 11 * 65535);
    // Distances beyond 32 bits saturate instead of overflowing.
    EXPECT_EQ(FocuserMoveLimitMs(INT32_MIN, INT32_MAX, 10, 0), INT32_MAX);
}

}  // namespace
}  // namespace kavri
