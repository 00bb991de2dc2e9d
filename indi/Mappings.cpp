// SPDX-License-Identifier: GPL-3.0-or-later
#include "indi/Mappings.h"

#include "device/FilterEntry.h"

namespace kavri::indi {

int SlotOfIndex(int32_t index) {
    return index < 0 ? 0 : index + 1;
}

std::optional<int32_t> IndexOfSlot(double slot, int count) {
    const auto whole = WholeNumber(slot, 1, count);
    if (!whole) return std::nullopt;
    return *whole - 1;
}

std::optional<int32_t> FocusShiftValue(double value, std::string& reason) {
    const auto whole = WholeNumber(value, INT16_MIN, INT16_MAX);
    if (!whole) {
        reason = "A focus shift runs from " + std::to_string(INT16_MIN) + " to " +
                 std::to_string(INT16_MAX) + " (above " + std::to_string(kNoFocuserPosition) +
                 " = none)";
        return std::nullopt;
    }
    return whole;
}

const char* CompensationElement(int choice) {
    static constexpr const char* kElements[kCompensationChoices] = {
        "COMPENSATION_OFF", "COMPENSATION_T0", "COMPENSATION_T1", "COMPENSATION_T2",
        "COMPENSATION_T3"};
    return choice >= 0 && choice < kCompensationChoices ? kElements[choice] : kElements[0];
}

int CompensationChoiceOfSelector(int32_t selector) {
    return selector >= 0 && selector < kCompensationChoices - 1 ? selector + 1 : 0;
}

int32_t SelectorOfCompensationChoice(int choice) {
    return choice >= 1 && choice < kCompensationChoices ? choice - 1 : -1;
}

std::string StepChoiceElement(int divisor) {
    return "STEP_" + std::to_string(divisor);
}

}  // namespace kavri::indi
