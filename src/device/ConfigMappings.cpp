// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/ConfigMappings.h"

#include <climits>

namespace kavri {

int IdlePowerShown(uint8_t stored) {
    return (stored + 255) % 256;
}

int64_t IdlePowerStored(int64_t shown) {
    if (shown < 0 || shown > 255) return shown;
    return (shown + 1) % 256;
}

bool HalfStepChecked(uint8_t wheelStepMode) {
    return wheelStepMode < 2;
}

uint8_t WheelStepModeStored(bool halfStepChecked) {
    return halfStepChecked ? 1 : 2;
}

int PowerOutputIndex(uint8_t stored) {
    return stored < kPowerOutputModeTexts.size() ? static_cast<int>(stored) : -1;
}

uint8_t PowerOutputModeStored(int index) {
    return static_cast<uint8_t>(index);
}

std::vector<int> MicrostepDivisors(int largestDivisor) {
    std::vector<int> divisors;
    // The doubling stops before it could overflow, whatever the controller reported.
    for (int a = 1; a <= largestDivisor; a *= 2) {
        divisors.push_back(a);
        if (a > INT_MAX / 2) break;
    }
    return divisors;
}

std::string MicrostepLabel(int divisor) {
    return "1/" + std::to_string(divisor);
}

int MicrostepChoice(int largestDivisor, uint8_t storedStep) {
    const std::vector<int> divisors = MicrostepDivisors(largestDivisor);
    // The quotients strictly decrease along the list, so at most one choice matches.
    for (size_t i = 0; i < divisors.size(); ++i) {
        if (largestDivisor / divisors[i] == storedStep) return static_cast<int>(i);
    }
    return -1;
}

uint8_t MicrostepStored(int largestDivisor, int index) {
    const std::vector<int> divisors = MicrostepDivisors(largestDivisor);
    if (index < 0 || static_cast<size_t>(index) >= divisors.size()) return 0;
    return static_cast<uint8_t>(largestDivisor / divisors[static_cast<size_t>(index)]);
}

WheelSettingsValues WheelSettingsFromConfig(const ControllerConfig& config) {
    WheelSettingsValues values;
    values.filterCount = config.filterCount;
    values.speed = static_cast<uint16_t>(config.wheelSpeed);
    values.halfStep = HalfStepChecked(config.wheelStepMode);
    values.motorOffWhenIdle = config.wheelMotorOffWhenIdle != 0;
    values.sensorSeesHome = config.filterSensorSeesHome != 0;
    values.powerOutputIndex = PowerOutputIndex(config.powerOutputMode);
    values.maxStepsBetweenFilters = static_cast<uint16_t>(config.maxStepsBetweenFilters);
    return values;
}

ConfigValues WheelSettingsFields(const WheelSettingsValues& values) {
    const auto field = [](const char* name) { return FindConfigField(name); };
    return {
        {field("filterCount"), values.filterCount},
        {field("wheelSpeed"), values.speed},
        {field("wheelStepMode"), WheelStepModeStored(values.halfStep)},
        {field("wheelMotorOffWhenIdle"), values.motorOffWhenIdle ? 1 : 0},
        {field("filterSensorSeesHome"), values.sensorSeesHome ? 1 : 0},
        {field("powerOutputMode"), PowerOutputModeStored(values.powerOutputIndex)},
        {field("maxStepsBetweenFilters"), values.maxStepsBetweenFilters},
    };
}

FocuserSettingsValues FocuserSettingsFromConfig(const ControllerConfig& config,
                                                int largestDivisor) {
    FocuserSettingsValues values;
    values.speed = static_cast<uint16_t>(config.focuserSpeed);
    values.idlePower = IdlePowerShown(config.focuserIdlePower);
    values.backlash = static_cast<uint16_t>(config.focuserBacklash);
    values.thermometerCount = config.thermometerCount;
    values.compensationStepsPerDegree = static_cast<int16_t>(config.thermoCompStepsPerDegree);
    values.temperatureAveraging = static_cast<uint16_t>(config.temperatureAveraging);
    values.directionChangeThreshold = static_cast<uint16_t>(config.directionChangeThreshold);
    values.stepChoice = MicrostepChoice(largestDivisor, config.focuserStepMicrosteps);
    return values;
}

ConfigValues FocuserSettingsFields(const FocuserSettingsValues& values, int largestDivisor) {
    const auto field = [](const char* name) { return FindConfigField(name); };
    return {
        {field("focuserSpeed"), values.speed},
        {field("focuserIdlePower"), IdlePowerStored(values.idlePower)},
        {field("focuserBacklash"), values.backlash},
        {field("thermometerCount"), values.thermometerCount},
        {field("thermoCompStepsPerDegree"), values.compensationStepsPerDegree},
        {field("temperatureAveraging"), values.temperatureAveraging},
        {field("directionChangeThreshold"), values.directionChangeThreshold},
        {field("focuserStepMicrosteps"), MicrostepStored(largestDivisor, values.stepChoice)},
    };
}

}  // namespace kavri
