// SPDX-License-Identifier: GPL-3.0-or-later
// Values as INDI clients see them and as the device holds them, beyond those both servers
// share (server/Mappings.h): 1-based filter slots, focus shifts, the compensation selector and
// the step-size choices. Plain functions without libindi, so every mapping is tested on its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "server/Mappings.h"

namespace kavri::indi {

using server::AbsoluteTarget;
using server::ClientPosition;
using server::DisplayName;
using server::FocusRange;
using server::RelativeTarget;
using server::WholeNumber;

// --- Filter slots ------------------------------------------------------------------------------

// INDI counts slots from 1, the device from 0; an unknown filter (-1) shows as slot 0.
int SlotOfIndex(int32_t index);
// The device index of slot `slot` in a wheel of `count` filters; std::nullopt outside 1..count.
std::optional<int32_t> IndexOfSlot(double slot, int count);

// A filter's focuser position ("Focus Shift") as the controller stores it: signed 16 bits,
// and above 10000 it means none.
std::optional<int32_t> FocusShiftValue(double value, std::string& reason);

// --- Compensation thermometer ------------------------------------------------------------------

// Switch elements of the compensation choice, in order: off, thermometer 0 .. 3.
constexpr int kCompensationChoices = 5;
const char* CompensationElement(int choice);
// The element index of a selector (-1 = off, 0..3); 0 (off) for anything else.
int CompensationChoiceOfSelector(int32_t selector);
// The selector of an element index: -1 for 0 (off), 0..3 for 1..4.
int32_t SelectorOfCompensationChoice(int choice);

// --- Focuser step size ---------------------------------------------------------------------------

// Switch element names of the step-size choices "1/1", "1/2", ... : "STEP_1", "STEP_2", ...
std::string StepChoiceElement(int divisor);

}  // namespace kavri::indi
