// SPDX-License-Identifier: GPL-3.0-or-later
// How kavrictl names and shows the device's state: filter names, focus shifts, positions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/Command.h"
#include "device/FilterEntry.h"
#include "device/WheelFocuserDevice.h"

namespace kavri::cli {

// Positions travel as signed 16-bit numbers; anything outside is refused before sending.
constexpr int64_t kMinPosition = -32768;
constexpr int64_t kMaxPosition = 32767;
// What a focus shift of "none" is stored as, as the desktop program enters it.
constexpr int32_t kFocusShiftNone = 20000;

// The row's name as the controller holds it (windows-1251 bytes, up to 8).
std::string StoredFilterName(const FilterEntry& entry);
// The name as UTF-8, for JSON; and decoded and escaped, for text.
std::string FilterName(const FilterEntry& entry);
std::string FilterNameText(const FilterEntry& entry);
// The filter's focuser position, or "none" above kNoFocuserPosition.
std::string FocusShiftText(int32_t focuserPosition);
Json FocusShiftJson(int32_t focuserPosition);  // null for none
// "2 (Red)", "2" for an unnamed row, "unknown" for -1 or an index outside the table; the name
// decoded and escaped for text.
std::string FilterLabel(const WheelFocuserDevice& device, int32_t index);

// A failure outcome when the connected controller lacks the wheel or the focuser.
std::optional<Outcome> RequireWheel(const WheelFocuserDevice& device);
std::optional<Outcome> RequireFocuser(const WheelFocuserDevice& device);

// A position argument within kMinPosition..kMaxPosition; the reason otherwise.
std::optional<int32_t> ParsePosition(const std::string& text, const char* what,
                                     std::string& reason);

}  // namespace kavri::cli
