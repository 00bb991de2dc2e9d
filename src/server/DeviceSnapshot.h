// SPDX-License-Identifier: GPL-3.0-or-later
// What a server shows of the device: a plain copy taken on the worker thread after every job,
// so the event loop never reads the device itself.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/ControllerConfig.h"
#include "device/FilterEntry.h"
#include "device/SettingsBlock.h"
#include "device/TemperatureLog.h"
#include "device/WheelFocuserDevice.h"

namespace kavri::server {

// What the periodic poll reads besides the device's own fields.
struct Readings {
    // Every thermometer the controller reports (up to kMaxThermometers); empty: no reading.
    std::array<std::optional<float>, kMaxThermometers> temperatures{};
    std::optional<int32_t> compensation;  // "FWisAuto": -1 off, 0..3
    bool positionRead = false;            // the last poll read the focuser position
    bool filterRead = false;              // the last poll read the current filter
};

struct DeviceSnapshot {
    bool connected = false;
    bool wheelPresent = false;
    bool focuserPresent = false;
    int32_t focuserPosition = 0;
    int32_t currentFilter = -1;
    std::vector<FilterEntry> filters;
    ControllerConfig config{};
    SettingsBlock settings;
    std::array<std::string, kThermometerSlots> thermometerNames;  // windows-1251, as stored
    Readings readings;
    int largestDivisor = 0;  // "FWubStep": the step-size choices; 0 unknown
    std::string portName;    // the port connected to, for messages
};

}  // namespace kavri::server
