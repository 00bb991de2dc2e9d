// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/Mappings.h"

#include <cmath>
#include <cstring>

#include "device/Cp1251.h"
#include "transport/PortNaming.h"

namespace kavri::server {

namespace {

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

std::string DisplayName(const char* bytes, size_t maxBytes) {
    return Cp1251ToUtf8(std::string_view(bytes, strnlen(bytes, maxBytes)));
}

std::string DescribePort(const PortChoice& choice) {
    if (choice.IsPath()) return choice.devicePath;
    return PortChoiceText(choice) + " (" + PortNaming::FromEnvironment().DevicePath(choice.number) +
           ")";
}

}  // namespace kavri::server
