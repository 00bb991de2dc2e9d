// SPDX-License-Identifier: GPL-3.0-or-later
// The device side of the temperature log: the timer callback that reads the thermometers, the
// focuser position and the current filter and appends them as one row.

#include <algorithm>
#include <cstring>

#include "platform/DataDirectory.h"
#include "device/TemperatureLog.h"
#include "device/WheelFocuserDevice.h"

namespace kavri {

namespace {

std::optional<TemperatureLog>& InstalledLog() {
    static std::optional<TemperatureLog> log;
    return log;
}

TemperatureSample ReadSample(WheelFocuserDevice& device) {
    TemperatureSample sample;
    const int count =
        std::min<int>(device.config.thermometerCount, kMaxThermometers);  // read for every row
    for (int i = 0; i < count; ++i) {
        float degrees = 0.0f;
        if (device.FWtemperature(i, degrees)) {
            sample.temperatures.emplace_back(degrees);
        } else {
            sample.temperatures.emplace_back(std::nullopt);
        }
    }
    int32_t position = 0;
    if (device.GetPosition(position)) sample.focuserPosition = position;

    int32_t filter = -1;
    if (device.wheelPresent && device.GetFilter(filter) && filter >= 0 &&
        filter < kConfigFilterSlots) {
        const char* name = device.config.filterNames[filter];
        sample.filterName = std::string(name, strnlen(name, kConfigNameLength));
    }
    return sample;
}

}  // namespace

TemperatureLog ActiveTemperatureLog() {
    const auto& installed = InstalledLog();
    return installed ? *installed : TemperatureLog(KavriDataDirectory());
}

void SetActiveTemperatureLog(std::optional<TemperatureLog> log) {
    InstalledLog() = std::move(log);
}

void LogTemperatures() {
    WheelFocuserDevice* device = activeDevice;
    // Only a connected focuser is logged, and never in the middle of another exchange.
    if (!device || !device->port || !device->focuserPresent || device->busy) return;
    // A file that cannot be written is skipped silently; the next tick tries again.
    ActiveTemperatureLog().Append([device] { return ReadSample(*device); });
}

}  // namespace kavri
