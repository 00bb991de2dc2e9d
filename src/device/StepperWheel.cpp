// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/StepperWheel.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

namespace kavri {

namespace {

uint8_t Apply(uint8_t bits, MotorBits mask) {
    return static_cast<uint8_t>((bits | mask.set) & ~mask.clear);
}

// Positions are computed in 64 bits and clamped, so extreme stored settings cannot overflow.
int32_t ClampToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// The approach distance below a filter that lies behind the motor.
constexpr int32_t kApproachSteps = 12;

}  // namespace

StepperWheel::StepperWheel(SleepFunction sleep) : sleep_(std::move(sleep)) {}

StepperWheel::~StepperWheel() = default;

void StepperWheel::SetSleep(SleepFunction sleep) {
    sleep_ = std::move(sleep);
}

void StepperWheel::Pause(int milliseconds) {
    if (sleep_) {
        sleep_(milliseconds);
    } else {
        RealSleep(milliseconds);
    }
}

bool StepperWheel::GetPosition(int32_t& position) {
    position = lastDirection < 0 ? ClampToInt32(int64_t{motorPosition} + BackLash) : motorPosition;
    return true;
}

bool StepperWheel::MoveRelative(int32_t steps) {
    int32_t position = 0;
    if (!GetPosition(position)) return false;
    const int64_t target = int64_t{position} + int64_t{steps} * MinMotorStep;
    // A target beyond the 32-bit position range cannot be reached; refuse instead of wrapping.
    if (target != ClampToInt32(target)) return false;
    return MoveTo(static_cast<int32_t>(target));
}

bool StepperWheel::MoveTo(int32_t position) {
    if (motorPosition == position) return true;
    highPower = true;
    Emit();
    Pause(InitTime);
    while (motorPosition < position) {
        Emit();
        Pause(StepTime);
        ++motorPosition;
    }
    while (motorPosition > position) {
        Emit();
        Pause(StepTime);
        --motorPosition;
    }
    Emit();
    Pause(ReleaseTime);
    highPower = false;
    Emit();
    return true;
}

// Keeps the motor phase: the position within one electrical cycle (4 steps in full-step, 8 in
// half-step mode) stays, the cycle is taken from `position`. With 0 this leaves just the phase.
bool StepperWheel::SetPosition(int32_t position) {
    const int32_t phaseMask = HalfStep ? 7 : 3;
    motorPosition = (position & ~phaseMask) | (motorPosition & phaseMask);
    return true;
}

uint8_t StepperWheel::ComputeOutputBits() {
    const MotorBits phases[4] = {BitsStep0, BitsStep1, BitsStep2, BitsStep3};
    uint8_t bits = static_cast<uint8_t>(BitsInitial.set & ~BitsInitial.clear);
    if (!HalfStep) {
        bits = Apply(bits, phases[motorPosition & 3]);
    } else {
        // An even position energises one phase, an odd one two neighbouring phases.
        const int64_t position = motorPosition;
        bits = Apply(bits, phases[(position / 2) & 3]);
        bits = Apply(bits, phases[((position + 1) / 2) & 3]);
    }
    return Apply(bits, highPower ? BitsHiPower : BitsLowPower);
}

bool StepperWheel::Home(int32_t shift) {
    if (shift < 0) shift = MaxRollbackShift;
    shift = std::max(0, std::min(MaxRollbackShift, shift));
    currentFilter = -1;
    if (motorPosition < 0) SetPosition(0);
    // Whole four-phase cycles only, so the rollback ends on the phase of InitialStep.
    MoveTo(ClampToInt32(int64_t{InitialStep} - (shift / 4) * 4));
    SetPosition(0);
    return true;
}

bool StepperWheel::SelectFilter(int32_t index) {
    if (filters.empty() || static_cast<uint32_t>(index) >= filters.size() ||
        index == currentFilter) {
        return false;
    }
    // A stored interval below 1 cannot divide; it means a rollback before every change.
    const int32_t interval = std::max(1, RollbackInterval);
    if (filterChangeCount % interval == 0) Home(-1);
    ++filterChangeCount;
    currentFilter = index;
    const int32_t target = filters[static_cast<size_t>(index)].wheelPosition;
    // A filter behind the motor is approached from below, so every filter is reached forward.
    if (target > int64_t{InitialStep} + kApproachSteps && motorPosition > target) {
        MoveTo(target - kApproachSteps);
    }
    MoveTo(target);
    return true;
}

bool StepperWheel::GetFilter(int32_t& index) {
    index = currentFilter;
    return true;
}

}  // namespace kavri
