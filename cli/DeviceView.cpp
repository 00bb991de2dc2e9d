// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/DeviceView.h"

#include <cstring>

#include "cli/NameText.h"

namespace kavri::cli {

std::string StoredFilterName(const FilterEntry& entry) {
    return std::string(entry.name, strnlen(entry.name, kFilterNameSize));
}

std::string FilterName(const FilterEntry& entry) {
    return DecodedName(StoredFilterName(entry));
}

std::string FilterNameText(const FilterEntry& entry) {
    return ShownName(StoredFilterName(entry));
}

std::string FocusShiftText(int32_t focuserPosition) {
    return focuserPosition > kNoFocuserPosition ? "none" : std::to_string(focuserPosition);
}

Json FocusShiftJson(int32_t focuserPosition) {
    return focuserPosition > kNoFocuserPosition ? Json(nullptr) : Json(focuserPosition);
}

std::string FilterLabel(const WheelFocuserDevice& device, int32_t index) {
    if (index < 0 || index >= static_cast<int32_t>(device.filters.size())) {
        return index < 0 ? "unknown" : std::to_string(index);
    }
    const std::string name = FilterNameText(device.filters[static_cast<size_t>(index)]);
    return name.empty() ? std::to_string(index) : std::to_string(index) + " (" + name + ")";
}

std::optional<Outcome> RequireWheel(const WheelFocuserDevice& device) {
    if (device.wheelPresent) return std::nullopt;
    return Outcome::Failure(kExitFailed, "the controller has no filter wheel");
}

std::optional<Outcome> RequireFocuser(const WheelFocuserDevice& device) {
    if (device.focuserPresent) return std::nullopt;
    return Outcome::Failure(kExitFailed, "the controller has no focuser");
}

std::optional<int32_t> ParsePosition(const std::string& text, const char* what,
                                     std::string& reason) {
    if (!ParseInteger(text, INT64_MIN, INT64_MAX)) {
        reason = std::string(what) + " '" + text + "' is not a number";
        return std::nullopt;
    }
    const auto value = ParseInteger(text, kMinPosition, kMaxPosition);
    if (!value) {
        reason = std::string(what) + " " + text + " is outside -32768..32767";
        return std::nullopt;
    }
    return static_cast<int32_t>(*value);
}

}  // namespace kavri::cli
