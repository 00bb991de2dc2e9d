// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/SettingsFileCheck.h"

#include <cmath>

#include "device/ConfigFields.h"
#include "device/TemperatureLog.h"
#include "transport/PortNaming.h"

namespace kavri {
namespace {

template <typename T>
bool Outside(T value, T low, T high) {
    return value < low || value > high;
}

template <typename T>
std::string Named(const char* field, T value) {
    return std::string(field) + " " + std::to_string(value);
}

}  // namespace

// Only limits that every writer respects are checked. The desktop dialogs and the tools now
// refuse a value outside its field's range, but files saved before stored typed values as their
// low 8 or 16 bits, and `kavrictl config` once took any value a field holds: speeds, backlash,
// averaging, the coefficient and the rest are bounded by their width alone. The filter count
// and the thermometer count are limits of the controller itself (it reports at most ten
// filters and accepts at most eight thermometers), checked by the field table every front end
// uses.
std::string SettingsFileProblem(const SettingsFileContents& contents) {
    for (const char* name : {"filterCount", "thermometerCount"}) {
        const ConfigField& field = *FindConfigField(name);
        const int64_t value = ReadConfigField(contents.config, field);
        if (Outside(value, field.low, field.high)) return Named(name, value);
    }
    const SettingsBlock& settings = contents.settings;
    if (Outside(settings.ComPort, 0, kLastComPort)) return Named("ComPort", settings.ComPort);
    // A compensation thermometer the controller reported, or one the user chose: 0..7.
    if (Outside(settings.AscomPreferredTermometer, 0, kMaxThermometers - 1)) {
        return Named("AscomPreferredTermometer", settings.AscomPreferredTermometer);
    }
    // No edit produces an infinite or undefined number.
    if (!std::isfinite(settings.StepLenInMicrons)) {
        return Named("StepLenInMicrons", settings.StepLenInMicrons);
    }
    return {};
}

}  // namespace kavri
