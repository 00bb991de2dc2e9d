// SPDX-License-Identifier: GPL-3.0-or-later
// The one configuration write every front end uses (DeviceOperations.h).
#include <algorithm>
#include <cstring>

#include "device/CommandExchange.h"
#include "device/DeviceOperations.h"
#include "device/ExchangeGuard.h"

namespace kavri {

namespace {

// A filter row's positions, which a slot of the image keeps in 16 bits; the reason otherwise.
std::string FilterRowProblem(const WheelFocuserDevice& device) {
    const size_t rows = std::min(device.filters.size(), static_cast<size_t>(kConfigFilterSlots));
    for (size_t i = 0; i < rows; ++i) {
        const FilterEntry& row = device.filters[i];
        for (const auto& [what, value] : {std::pair{"wheel position", row.wheelPosition},
                                          std::pair{"focuser position", row.focuserPosition}}) {
            if (value < INT16_MIN || value > INT16_MAX) {
                return "filter " + std::to_string(i) + ": " + what + " " + std::to_string(value) +
                       " is outside -32768..32767";
            }
        }
    }
    return {};
}

// Why the controller holds another image than was sent: the first value given that it did
// not keep, or else that some other byte differs.
std::string Difference(const ControllerConfig& sent, const ControllerConfig& kept,
                       const ConfigValues& values) {
    for (const auto& [field, value] : values) {
        const int64_t held = ReadConfigField(kept, *field);
        if (held != ReadConfigField(sent, *field)) {
            return "the controller kept " + std::string(field->name) + "=" + std::to_string(held) +
                   ", not " + std::to_string(value);
        }
    }
    return "the controller kept a different configuration than was written";
}

}  // namespace

bool WriteConfiguration(WheelFocuserDevice& device, const ConfigValues& values) {
    device.failureReason.clear();
    if (const auto refusal = CheckConfigValues(values)) {
        device.failureReason = ConfigRefusalText(*refusal);
        return false;
    }
    if (std::string problem = FilterRowProblem(device); !problem.empty()) {
        device.failureReason = std::move(problem);
        return false;
    }
    bool written = false;
    bool read = false;
    ControllerConfig sent{};
    ControllerConfig readBack{};
    {
        ExchangeGuard guard(device);
        if (!guard) {
            device.failureReason = device.port ? kBusy : kNotConnected;
            return false;
        }
        const ControllerConfig before = device.config;
        PutConfigValues(device.config, values);
        // The filter rows go into the image and all 144 bytes out, as WriteFilterTable does.
        PutFilterRows(device.config, device.filters);
        sent = device.config;
        written = device.FWwriteEE(0, kConfigSize, sent.data());
        read = device.FWreadEE(0, kConfigSize, readBack.data());
        if (read) {
            device.config = readBack;
        } else if (!written) {
            device.config = before;  // the controller most likely still holds the old image
        }
    }
    // The filter table follows the image the controller holds, its count included.
    if (device.wheelPresent) device.FWCOUNT();
    if (device.port != nullptr && PortHungUp(device.port)) {
        device.failureReason = kLineHungUp;
    } else if (!written) {
        device.failureReason = kConfigNotAccepted;
    } else if (!read) {
        device.failureReason = "the configuration was written but could not be read back";
    } else if (std::memcmp(sent.data(), readBack.data(), kConfigSize) != 0) {
        device.failureReason = Difference(sent, readBack, values);
    } else {
        return true;
    }
    return false;
}

}  // namespace kavri
