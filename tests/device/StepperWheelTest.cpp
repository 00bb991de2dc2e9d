#include <gtest/gtest.h>

#include <vector>

#include "device/StepperWheelRecording.h"

namespace kavri {
namespace {

using test::RecordingWheel;

// Distinct single-bit phase patterns, so each emitted byte names its phases.
void UseDistinctPhases(RecordingWheel& wheel) {
    wheel.BitsStep0.set = 0x01;
    wheel.BitsStep1.set = 0x02;
    wheel.BitsStep2.set = 0x04;
    wheel.BitsStep3.set = 0x08;
    wheel.BitsLowPower.set = 0x40;
    wheel.BitsHiPower.set = 0x80;
}

TEST(StepperWheelTest, FullStepCyclesThroughFourPhasesWithPowerMask) {
    RecordingWheel wheel;
    UseDistinctPhases(wheel);
    const uint8_t expected[] = {0x41, 0x42, 0x44, 0x48, 0x41};
    for (int32_t position = 0; position <= 4; ++position) {
        wheel.motorPosition = position;
        EXPECT_EQ(wheel.ComputeOutputBits(), expected[position]) << "position " << position;
    }
    wheel.motorPosition = -1;  // one step below zero is phase 3
    EXPECT_EQ(wheel.ComputeOutputBits(), 0x48);
    wheel.highPower = true;
    EXPECT_EQ(wheel.ComputeOutputBits(), 0x88);
}

TEST(StepperWheelTest, ClearMasksRemoveBitsAfterSetMasks) {
    RecordingWheel wheel;
    wheel.BitsInitial = {0x30, 0x10};  // base 0x20
    wheel.BitsStep0 = {0x03, 0x20};    // drops the base bit
    wheel.BitsLowPower = {0x00, 0x02};
    EXPECT_EQ(wheel.ComputeOutputBits(), 0x01);
}

TEST(StepperWheelTest, HalfStepUsesOneOrTwoNeighbouringPhases) {
    RecordingWheel wheel;
    UseDistinctPhases(wheel);
    wheel.HalfStep = 1;
    const uint8_t expected[] = {0x41, 0x43, 0x42, 0x46, 0x44, 0x4C, 0x48, 0x49, 0x41};
    for (int32_t position = 0; position <= 8; ++position) {
        wheel.motorPosition = position;
        EXPECT_EQ(wheel.ComputeOutputBits(), expected[position]) << "position " << position;
    }
}

TEST(StepperWheelTest, MoveToHoldsPatternsAndPausesInOrder) {
    RecordingWheel wheel;
    UseDistinctPhases(wheel);
    wheel.InitTime = 7;
    wheel.ReleaseTime = 3;
    ASSERT_TRUE(wheel.MoveTo(3));
    EXPECT_EQ(wheel.motorPosition, 3);
    EXPECT_FALSE(wheel.highPower);
    EXPECT_EQ(wheel.emittedAt, (std::vector<int32_t>{0, 0, 1, 2, 3, 3}));
    EXPECT_EQ(wheel.pauses, (std::vector<int>{7, 10, 10, 10, 3}));
    // High power while moving, low power at rest.
    EXPECT_EQ(wheel.patterns, (std::vector<uint8_t>{0x81, 0x81, 0x82, 0x84, 0x88, 0x48}));

    wheel.ClearRecords();
    ASSERT_TRUE(wheel.MoveTo(1));
    EXPECT_EQ(wheel.emittedAt, (std::vector<int32_t>{3, 3, 2, 1, 1}));
}

TEST(StepperWheelTest, MoveToCurrentPositionEmitsNothing) {
    RecordingWheel wheel;
    wheel.motorPosition = 42;
    EXPECT_TRUE(wheel.MoveTo(42));
    EXPECT_TRUE(wheel.patterns.empty());
    EXPECT_TRUE(wheel.pauses.empty());
}

TEST(StepperWheelTest, SetPositionKeepsThePhase) {
    RecordingWheel wheel;
    wheel.motorPosition = 13;
    wheel.SetPosition(0);
    EXPECT_EQ(wheel.motorPosition, 1);
    wheel.motorPosition = 13;
    wheel.HalfStep = 1;
    wheel.SetPosition(0);
    EXPECT_EQ(wheel.motorPosition, 5);
    wheel.HalfStep = 0;
    wheel.motorPosition = 14;
    wheel.SetPosition(100);
    EXPECT_EQ(wheel.motorPosition, 102);
    EXPECT_EQ(wheel.motorPosition & 3, 14 & 3);
}

TEST(StepperWheelTest, PositionAndRelativeMovesHonourBacklashAndStepSize) {
    RecordingWheel wheel;
    wheel.motorPosition = 100;
    wheel.BackLash = 5;
    int32_t position = 0;
    ASSERT_TRUE(wheel.GetPosition(position));
    EXPECT_EQ(position, 100);
    wheel.lastDirection = -1;
    ASSERT_TRUE(wheel.GetPosition(position));
    EXPECT_EQ(position, 105);

    wheel.MinMotorStep = 3;
    ASSERT_TRUE(wheel.MoveRelative(-2));
    EXPECT_EQ(wheel.moveTargets, (std::vector<int32_t>{99}));

    // A target outside the 32-bit range is refused rather than wrapped.
    wheel.ClearRecords();
    wheel.MinMotorStep = 1 << 30;
    EXPECT_FALSE(wheel.MoveRelative(4));
    EXPECT_TRUE(wheel.moveTargets.empty());
}

TEST(StepperWheelTest, HomeClampsShiftToWholeCyclesBelowInitialStep) {
    RecordingWheel wheel;
    wheel.InitialStep = 50;
    wheel.MaxRollbackShift = 100;
    wheel.motorPosition = 70;
    wheel.currentFilter = 2;
    ASSERT_TRUE(wheel.Home(7));
    EXPECT_EQ(wheel.moveTargets, (std::vector<int32_t>{46}));
    EXPECT_EQ(wheel.currentFilter, -1);
    EXPECT_EQ(wheel.motorPosition, 46 & 3);  // restarts from its phase

    struct Case {
        int32_t shift, maxShift, target;
    };
    const Case cases[] = {
        {-1, 10, 42},     // negative: the full rollback of MaxRollbackShift, rounded down to 8
        {300, 100, -50},  // clamped to MaxRollbackShift (100, i.e. 25 cycles)
        {8, -4, 50},      // a negative limit means no rollback below InitialStep
        {3, 100, 50},     // less than one cycle
    };
    for (const Case& c : cases) {
        wheel.ClearRecords();
        wheel.motorPosition = 60;
        wheel.MaxRollbackShift = c.maxShift;
        wheel.Home(c.shift);
        EXPECT_EQ(wheel.moveTargets, (std::vector<int32_t>{c.target})) << "shift " << c.shift;
    }
}

TEST(StepperWheelTest, HomeFromNegativePositionFirstFoldsToPhase) {
    RecordingWheel wheel;
    wheel.InitialStep = 8;
    wheel.motorPosition = -6;  // phase 2
    wheel.Home(0);
    // The move starts from the folded position 2, not from -6.
    ASSERT_FALSE(wheel.emittedAt.empty());
    EXPECT_EQ(wheel.emittedAt.front(), 2);
}

TEST(StepperWheelTest, SelectFilterRefusesInvalidOrCurrentIndex) {
    RecordingWheel wheel;
    EXPECT_FALSE(wheel.SelectFilter(0));  // empty table
    wheel.AddFilters({10, 20, 30});
    EXPECT_FALSE(wheel.SelectFilter(3));
    EXPECT_FALSE(wheel.SelectFilter(-1));
    ASSERT_TRUE(wheel.SelectFilter(1));
    wheel.ClearRecords();
    EXPECT_FALSE(wheel.SelectFilter(1));
    EXPECT_EQ(wheel.filterChangeCount, 1);
    EXPECT_TRUE(wheel.moveTargets.empty());
    int32_t index = -1;
    ASSERT_TRUE(wheel.GetFilter(index));
    EXPECT_EQ(index, 1);
}

TEST(StepperWheelTest, RollbackPrecedesFirstAndEveryFifthChange) {
    RecordingWheel wheel;
    wheel.AddFilters({10, 20});
    std::vector<int> rolledBack;
    for (int change = 1; change <= 12; ++change) {
        wheel.homeCalls.clear();
        ASSERT_TRUE(wheel.SelectFilter(change % 2));
        if (!wheel.homeCalls.empty()) {
            EXPECT_EQ(wheel.homeCalls, (std::vector<int32_t>{-1}));
            rolledBack.push_back(change);
        }
    }
    EXPECT_EQ(rolledBack, (std::vector<int>{1, 6, 11}));
}

TEST(StepperWheelTest, UnusableRollbackIntervalRollsBackEveryChange) {
    RecordingWheel wheel;
    wheel.AddFilters({10, 20});
    wheel.RollbackInterval = 0;  // e.g. from a damaged store; must not divide by zero
    for (int change = 0; change < 3; ++change) {
        wheel.homeCalls.clear();
        ASSERT_TRUE(wheel.SelectFilter(change % 2));
        EXPECT_EQ(wheel.homeCalls.size(), 1u);
    }
}

TEST(StepperWheelTest, FilterBehindMotorIsApproachedFromTwelveStepsBelow) {
    RecordingWheel wheel;
    wheel.AddFilters({40, 5});
    wheel.filterChangeCount = 1;  // no rollback due
    wheel.motorPosition = 60;
    ASSERT_TRUE(wheel.SelectFilter(0));
    EXPECT_EQ(wheel.moveTargets, (std::vector<int32_t>{28, 40}));
    EXPECT_EQ(wheel.motorPosition, 40);
    EXPECT_EQ(wheel.currentFilter, 0);

    // Within 12 steps of InitialStep there is no room to approach from below.
    wheel.ClearRecords();
    ASSERT_TRUE(wheel.SelectFilter(1));
    EXPECT_EQ(wheel.moveTargets, (std::vector<int32_t>{5}));
}

}  // namespace
}  // namespace kavri
