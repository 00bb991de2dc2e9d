// The base stepping routines of a wheel driven phase by phase (the controller overrides them
// but its relative move), on a wheel that records what they would do.
#include <gtest/gtest.h>

#include <vector>

#include "device/StepperWheel.h"

namespace kavri {
namespace {

struct RecordingWheel : StepperWheel {
    RecordingWheel() : StepperWheel([this](int ms) { pauses.push_back(ms); }) {
        BitsStep0.set = 0x01;  // single-bit phases, so each pattern names its phases
        BitsStep1.set = 0x02;
        BitsStep2.set = 0x04;
        BitsStep3.set = 0x08;
        BitsLowPower.set = 0x40;
        BitsHiPower.set = 0x80;
    }
    void WriteOutputBits(uint8_t pattern) override { patterns.push_back(pattern); }
    bool MoveTo(int32_t position) override {
        targets.push_back(position);
        return StepperWheel::MoveTo(position);
    }
    bool Home(int32_t shift) override {
        rollbacks.push_back(shift);
        return StepperWheel::Home(shift);
    }
    std::vector<uint8_t> patterns;
    std::vector<int> pauses;
    std::vector<int32_t> targets, rollbacks;
};

TEST(StepperWheel, PatternsFollowThePhaseAndPowerInFullAndHalfStep) {
    RecordingWheel wheel;
    wheel.InitTime = 7;
    wheel.ReleaseTime = 3;
    ASSERT_TRUE(wheel.MoveTo(5));
    // High power while moving, low power at rest; position 4 is phase 0 again.
    EXPECT_EQ(wheel.patterns,
              (std::vector<uint8_t>{0x81, 0x81, 0x82, 0x84, 0x88, 0x81, 0x82, 0x42}));
    EXPECT_EQ(wheel.pauses, (std::vector<int>{7, 10, 10, 10, 10, 10, 3}));
    wheel.patterns.clear();
    wheel.HalfStep = 1;  // an odd position energises two neighbouring phases
    ASSERT_TRUE(wheel.MoveTo(1));
    EXPECT_EQ(wheel.patterns, (std::vector<uint8_t>{0x8C, 0x8C, 0x84, 0x86, 0x82, 0x83, 0x43}));
}

TEST(StepperWheel, HomeRollsBackWholeCyclesBelowTheInitialStep) {
    // from, shift, MaxRollbackShift (a negative shift takes all of it): the move's target.
    const struct {
        int32_t from, shift, maxShift, target;
    } cases[] = {{70, 7, 100, 46}, {60, -1, 10, 42}, {60, 300, 100, -50}, {60, 8, -4, 50}};
    for (const auto& c : cases) {
        RecordingWheel wheel;
        wheel.InitialStep = 50;
        wheel.motorPosition = c.from;
        wheel.MaxRollbackShift = c.maxShift;
        wheel.currentFilter = 2;
        wheel.Home(c.shift);
        EXPECT_EQ(wheel.targets, (std::vector<int32_t>{c.target})) << c.from << " " << c.shift;
        EXPECT_EQ(wheel.currentFilter, -1);
        EXPECT_EQ(wheel.motorPosition, c.target & 3);  // restarts from its phase
    }
}

TEST(StepperWheel, FilterChangesRollBackFirstAndEveryFifthTimeAndApproachFromBelow) {
    RecordingWheel wheel;
    for (int32_t position : {40, 5}) wheel.filters.push_back({{}, position, 0});
    EXPECT_FALSE(wheel.SelectFilter(2));
    EXPECT_FALSE(wheel.SelectFilter(-1));
    std::vector<int> rolledBack;
    for (int change = 1; change <= 11; ++change) {
        wheel.rollbacks.clear();
        ASSERT_TRUE(wheel.SelectFilter(change % 2));
        if (wheel.rollbacks == std::vector<int32_t>{-1}) rolledBack.push_back(change);
    }
    EXPECT_EQ(rolledBack, (std::vector<int>{1, 6, 11}));
    EXPECT_FALSE(wheel.SelectFilter(1));  // the current filter
    // A filter behind the motor is approached from 12 steps below the filter.
    wheel.motorPosition = 60;
    wheel.targets.clear();
    ASSERT_TRUE(wheel.SelectFilter(0));
    EXPECT_EQ(wheel.targets, (std::vector<int32_t>{28, 40}));
    wheel.RollbackInterval = 0;  // from a damaged store: a rollback every time, no division
    ASSERT_TRUE(wheel.SelectFilter(1));
    EXPECT_EQ(wheel.targets, (std::vector<int32_t>{28, 40, 0, 5}));
}

}  // namespace
}  // namespace kavri
