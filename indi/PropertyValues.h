// SPDX-License-Identifier: GPL-3.0-or-later
// The driver's properties as plain data: which elements each one has for a given state of the
// device, and what a client's new values ask of the device. No libindi here; the driver turns
// these into INDI vectors and jobs.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/ConfigFields.h"
#include "server/DeviceSnapshot.h"

namespace kavri::indi {

using server::DeviceSnapshot;
using server::Readings;

// Property names: the standard ones clients look for, and the driver's own.
namespace prop {
inline constexpr const char* kConnection = "CONNECTION";
inline constexpr const char* kDevicePort = "DEVICE_PORT";
inline constexpr const char* kAbsPosition = "ABS_FOCUS_POSITION";
inline constexpr const char* kRelPosition = "REL_FOCUS_POSITION";
inline constexpr const char* kSync = "FOCUS_SYNC";
inline constexpr const char* kMax = "FOCUS_MAX";
inline constexpr const char* kSpeed = "FOCUS_SPEED";
inline constexpr const char* kBacklashToggle = "FOCUS_BACKLASH_TOGGLE";
inline constexpr const char* kBacklashSteps = "FOCUS_BACKLASH_STEPS";
inline constexpr const char* kTemperature = "FOCUS_TEMPERATURE";
inline constexpr const char* kFilterSlot = "FILTER_SLOT";
inline constexpr const char* kFilterName = "FILTER_NAME";
inline constexpr const char* kFocusShift = "FILTER_FOCUS_SHIFT";
inline constexpr const char* kThermometers = "THERMOMETERS";
inline constexpr const char* kThermometerNames = "THERMOMETER_NAMES";
inline constexpr const char* kCompensation = "TEMP_COMPENSATION";
inline constexpr const char* kWheelSettings = "WHEEL_SETTINGS";
inline constexpr const char* kWheelOptions = "WHEEL_OPTIONS";
inline constexpr const char* kPowerOutput = "POWER_OUTPUT_MODE";
inline constexpr const char* kFocuserSettings = "FOCUSER_SETTINGS";
inline constexpr const char* kStepSize = "FOCUSER_STEP_SIZE";
inline constexpr const char* kDriverSettings = "DRIVER_SETTINGS";
}  // namespace prop

// One element of a property: a number with its range, a switch, or a text.
struct Element {
    std::string name;
    std::string label;
    double value = 0;  // numbers
    double min = 0;
    double max = 0;
    double step = 1;
    std::string format = "%.0f";
    bool on = false;   // switches
    std::string text;  // texts (UTF-8)
};

// New values from a client for one property. Switches come as `states`, texts as `texts`,
// numbers as `numbers`, each parallel to `names`.
struct Request {
    std::string property;
    std::vector<std::string> names;
    std::vector<double> numbers;
    std::vector<bool> states;
    std::vector<std::string> texts;
};

// The elements of the driver's own properties and of the standard ones whose ranges the driver
// decides (FOCUS_SPEED, FOCUS_BACKLASH_STEPS, FOCUS_MAX), for the device as `snapshot` shows it.
// Empty for a property the driver does not know.
std::vector<Element> ElementsFor(std::string_view property, const DeviceSnapshot& snapshot);

// The value of element `name` in a request, or `fallback` when the request does not carry it.
double NumberIn(const Request& request, std::string_view name, double fallback);

// The field values of the configuration image that a request asks for, checked against the
// element ranges; std::nullopt with the reason for a value out of range, and for a property
// that is not part of the image.
std::optional<ConfigValues> ConfigValuesFor(const Request& request, const DeviceSnapshot& snapshot,
                                            std::string& reason);

// The same for the driver's stored settings (FOCUS_MAX, DRIVER_SETTINGS, THERMOMETER_NAMES).
using SettingsChange = std::function<void(WheelFocuserDevice&)>;
std::optional<SettingsChange> SettingsChangeFor(const Request& request,
                                                const DeviceSnapshot& snapshot,
                                                std::string& reason);

// FILTER_NAME: the names that differ from the controller's, by filter index, as windows-1251.
std::optional<std::vector<std::pair<int, std::string>>> RenamesFor(const Request& request,
                                                                   const DeviceSnapshot& snapshot,
                                                                   std::string& reason);
// FILTER_FOCUS_SHIFT: each filter's new focuser position by index.
std::optional<std::vector<std::pair<int, int32_t>>> FocusShiftsFor(const Request& request,
                                                                   const DeviceSnapshot& snapshot,
                                                                   std::string& reason);

// How messages name a filter: "Filter 3 ("Ha")", by its 1-based slot.
std::string FilterLabel(const DeviceSnapshot& snapshot, int32_t index);

// Per-filter elements are named with a prefix and the 1-based slot.
inline constexpr std::string_view kFilterNamePrefix = "FILTER_SLOT_NAME_";
inline constexpr std::string_view kFocusShiftPrefix = "FOCUS_SHIFT_";
// The filter index of element `<prefix><slot>`: slot - 1, or -1 when it is not such an element.
int SlotElementIndex(std::string_view element, std::string_view prefix);

}  // namespace kavri::indi
