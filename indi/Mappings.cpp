#include "indi/Mappings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "device/Cp1251.h"
#include "device/FilterEntry.h"
#include "device/PortNaming.h"

namespace kavri::indi {

namespace {

std::string Trimmed(std::string_view text) {
    const auto isBlank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

std::string OutOfRange(const FocusRange& range) {
    return "positions run from 0 to " + std::to_string(range.maximum);
}

// A controller position for client position `client`, or the reason it cannot be one.
std::optional<int32_t> ControllerPositionOf(int64_t client, const FocusRange& range,
                                            std::string& reason) {
    if (client < 0 || client > range.maximum) {
        reason = "Position " + std::to_string(client) + " is out of range: " + OutOfRange(range);
        return std::nullopt;
    }
    const int64_t controller = client - range.shift;
    if (controller < kControllerMinPosition || controller > kControllerMaxPosition) {
        reason = "Position " + std::to_string(client) + " is beyond the controller's range (" +
                 std::to_string(kControllerMinPosition + int64_t{range.shift}) + " to " +
                 std::to_string(kControllerMaxPosition + int64_t{range.shift}) + ")";
        return std::nullopt;
    }
    return static_cast<int32_t>(controller);
}

}  // namespace

std::optional<PortChoice> ParsePortText(std::string_view text) {
    const std::string trimmed = Trimmed(text);
    PortChoice choice;
    if (trimmed.find('/') != std::string::npos) {
        choice.devicePath = trimmed;
        return choice;
    }
    std::string lower = trimmed;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "auto") return choice;
    const std::string digits = lower.rfind("com", 0) == 0 ? lower.substr(3) : lower;
    if (digits.empty() || digits.size() > 2 ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    const int number = std::stoi(digits);
    if (number < kFirstComPort || number > kLastComPort) return std::nullopt;
    choice.number = number;
    return choice;
}

std::string PortText(int comPort) {
    if (comPort < kFirstComPort || comPort > kLastComPort) return "auto";
    return "COM" + std::to_string(comPort);
}

std::optional<int32_t> WholeNumber(double value, int64_t low, int64_t high) {
    if (!std::isfinite(value)) return std::nullopt;
    const double rounded = std::nearbyint(value);
    if (rounded < static_cast<double>(low) || rounded > static_cast<double>(high))
        return std::nullopt;
    return static_cast<int32_t>(rounded);
}

int64_t ClientPosition(int32_t controllerPosition, int32_t shift) {
    return int64_t{controllerPosition} + shift;
}

std::optional<int32_t> AbsoluteTarget(double clientPosition, const FocusRange& range,
                                      std::string& reason) {
    const auto client = WholeNumber(clientPosition, INT32_MIN, INT32_MAX);
    if (!client) {
        reason = "Not a position: " + OutOfRange(range);
        return std::nullopt;
    }
    return ControllerPositionOf(*client, range, reason);
}

std::optional<int32_t> RelativeTarget(int32_t controllerPosition, bool inward, double ticks,
                                      const FocusRange& range, std::string& reason) {
    const auto steps = WholeNumber(ticks, 1, INT32_MAX);
    if (!steps) {
        reason = "A relative move takes a positive number of steps";
        return std::nullopt;
    }
    const int64_t from = ClientPosition(controllerPosition, range.shift);
    const int64_t to = inward ? from - *steps : from + *steps;
    return ControllerPositionOf(to, range, reason);
}

std::optional<int32_t> SyncTarget(double clientPosition, const FocusRange& range,
                                  std::string& reason) {
    return AbsoluteTarget(clientPosition, range, reason);
}

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

std::string DisplayName(const char* bytes, size_t maxBytes) {
    return Cp1251ToUtf8(std::string_view(bytes, strnlen(bytes, maxBytes)));
}

std::string StepChoiceElement(int divisor) {
    return "STEP_" + std::to_string(divisor);
}

std::string DescribePort(const PortChoice& choice, const std::string& devicePath) {
    if (!choice.devicePath.empty()) return choice.devicePath;
    return PortText(choice.number) + " (" + devicePath + ")";
}

}  // namespace kavri::indi
