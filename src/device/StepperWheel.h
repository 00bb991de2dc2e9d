// SPDX-License-Identifier: GPL-3.0-or-later
// Abstract base of the device: a filter wheel turned by a stepper motor. It holds the stepping
// parameters and phase patterns, the filter table and the rollback settings, and provides the
// base stepping, homing and filter-selection routines. The serial controller overrides the
// position and filter operations; a wheel driving output lines directly would only supply
// WriteOutputBits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/FilterEntry.h"
#include "platform/Sleeper.h"

namespace kavri {

class SettingsStore;

// An output pattern modifier: result = (bits OR set) AND NOT clear.
struct MotorBits {
    uint8_t set = 0;
    uint8_t clear = 0;
};

class StepperWheel {
public:
    // `sleep` pauses between motor phases; empty means a real sleep.
    explicit StepperWheel(SleepFunction sleep = {});

    // Virtual operations, in slot order.
    virtual bool GetPosition(int32_t& position);
    virtual bool MoveRelative(int32_t steps);
    virtual bool MoveTo(int32_t position);
    virtual bool SetPosition(int32_t position);
    virtual uint8_t ComputeOutputBits();
    virtual void WriteOutputBits(uint8_t pattern) = 0;
    virtual ~StepperWheel();
    virtual bool Home(int32_t shift);
    virtual bool SelectFilter(int32_t index);
    virtual bool GetFilter(int32_t& index);
    // Filter table, rollback and motor parameters under a caller's key; true when the last
    // value was written (read).
    virtual bool SaveFilterSet(SettingsStore& store, const std::string& keyPath);
    virtual bool LoadFilterSet(SettingsStore& store, const std::string& keyPath);

    // Stepping parameters alone, the last part of the filter-set operations.
    bool SaveMotorParameters(SettingsStore& store, const std::string& keyPath);
    bool LoadMotorParameters(SettingsStore& store, const std::string& keyPath);

    // Replaces the pause function (empty: a real sleep).
    void SetSleep(SleepFunction sleep);

    int32_t StepTime = 10;    // ms after each motor step
    int32_t InitTime = 0;     // ms after energising, before the first step
    int32_t ReleaseTime = 0;  // ms after the last step, before dropping to low power
    MotorBits BitsInitial{0x00, 0xFF};
    MotorBits BitsStep0;
    MotorBits BitsStep1;
    MotorBits BitsStep2;
    MotorBits BitsStep3;
    MotorBits BitsHiPower;
    MotorBits BitsLowPower;
    int32_t HalfStep = 0;  // non-zero: a step is half a phase
    bool highPower = false;
    int32_t lastDirection = 1;  // negative: GetPosition adds BackLash
    int32_t MinMotorStep = 1;
    int32_t BackLash = 0;
    int32_t motorPosition = 0;
    std::vector<FilterEntry> filters;
    int32_t currentFilter = -1;  // -1: unknown
    int32_t InitialStep = 0;
    int32_t MaxRollbackShift = 0;
    int32_t EnableFilterSet = 1;
    int32_t RollbackInterval = 5;  // must be at least 1
    int32_t filterChangeCount = 0;

protected:
    void Pause(int milliseconds);
    void Emit() { WriteOutputBits(ComputeOutputBits()); }

private:
    SleepFunction sleep_;
};

}  // namespace kavri
