// SPDX-License-Identifier: GPL-3.0-or-later
// Values as the servers' clients see them and as the device holds them: numbers a client sends,
// focuser positions with the driver's shift and range, filter names (UTF-8 for clients,
// windows-1251 in the controller) and port texts for messages. Plain functions, so every
// mapping is tested on its own and the INDI driver and the Alpaca server map alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "transport/PortChoice.h"

namespace kavri::server {

// --- Numbers sent by a client ------------------------------------------------------------------

// A client's number as a whole number within [low, high]: rounded to the nearest integer;
// std::nullopt for NaN, infinities and values outside the range.
std::optional<int32_t> WholeNumber(double value, int64_t low, int64_t high);

// --- Focuser positions -------------------------------------------------------------------------

// Clients see the positions the Windows driver offers: 0 .. AscomMaxFocusPos, each the
// controller's position plus AscomFocusShift. The controller holds a signed 16-bit position.
struct FocusRange {
    int32_t shift = 0;    // AscomFocusShift
    int32_t maximum = 0;  // AscomMaxFocusPos
};
constexpr int32_t kControllerMinPosition = INT16_MIN;
constexpr int32_t kControllerMaxPosition = INT16_MAX;

// The client's position for a controller position.
int64_t ClientPosition(int32_t controllerPosition, int32_t shift);

// The controller target of an absolute move to `clientPosition`; std::nullopt with the reason
// when it lies outside 0..maximum or outside what the controller can hold.
std::optional<int32_t> AbsoluteTarget(double clientPosition, const FocusRange& range,
                                      std::string& reason);
// The controller target of a relative move of `ticks` (> 0) inward (toward 0) or outward from
// `controllerPosition`; std::nullopt with the reason as above.
std::optional<int32_t> RelativeTarget(int32_t controllerPosition, bool inward, double ticks,
                                      const FocusRange& range, std::string& reason);

// --- Names and ports ---------------------------------------------------------------------------

// The name a client sees for a controller name: windows-1251 bytes up to the first NUL, at most
// `maxBytes`, as UTF-8.
std::string DisplayName(const char* bytes, size_t maxBytes);

// "COM3 (/dev/ttyUSB2)" for a numbered port (the device it maps to here), the path itself for
// a device path.
std::string DescribePort(const PortChoice& choice);

}  // namespace kavri::server
