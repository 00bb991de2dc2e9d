#include "persist/SettingsFileCheck.h"

#include <cmath>

#include "transport/PortNaming.h"
#include "device/TemperatureLog.h"

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

// Only limits that every writer respects are checked. The ranges of the dialogs' up-down
// controls bound the arrows, not typed values, which both dialogs store as their low 8 or 16
// bits; `kavrictl config` stores any value a field holds. So speeds, backlash, averaging and
// the rest are bounded by their width alone. The filter count and the thermometer count are
// limits of the controller itself, which reports at most ten filters and accepts at most
// eight thermometers.
std::string SettingsFileProblem(const SettingsFileContents& contents) {
    const ControllerConfig& config = contents.config;
    if (Outside<int>(config.filterCount, 1, kConfigFilterSlots)) {
        return Named("filterCount", int{config.filterCount});
    }
    if (Outside<int>(config.thermometerCount, 0, kMaxThermometers)) {
        return Named("thermometerCount", int{config.thermometerCount});
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
