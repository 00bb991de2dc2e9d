// A stepper wheel that records, instead of performing, what the base routines do: every output
// pattern with the position it was emitted at, every pause, every move target and rollback.
#pragma once

#include <cstdint>
#include <vector>

#include "device/StepperWheel.h"

namespace kavri::test {

class RecordingWheel : public StepperWheel {
public:
    RecordingWheel() : StepperWheel([this](int ms) { pauses.push_back(ms); }) {}

    void WriteOutputBits(uint8_t pattern) override {
        patterns.push_back(pattern);
        emittedAt.push_back(motorPosition);
    }
    bool MoveTo(int32_t position) override {
        moveTargets.push_back(position);
        return StepperWheel::MoveTo(position);
    }
    bool Home(int32_t shift) override {
        homeCalls.push_back(shift);
        return StepperWheel::Home(shift);
    }

    void AddFilters(std::initializer_list<int32_t> wheelPositions) {
        for (int32_t position : wheelPositions) {
            FilterEntry row;
            row.wheelPosition = position;
            filters.push_back(row);
        }
    }
    void ClearRecords() {
        patterns.clear();
        emittedAt.clear();
        pauses.clear();
        moveTargets.clear();
        homeCalls.clear();
    }

    std::vector<uint8_t> patterns;
    std::vector<int32_t> emittedAt;
    std::vector<int> pauses;
    std::vector<int32_t> moveTargets;
    std::vector<int32_t> homeCalls;
};

}  // namespace kavri::test
