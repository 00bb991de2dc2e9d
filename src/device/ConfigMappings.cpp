#include "device/ConfigMappings.h"

#include <climits>

namespace kavri {

int IdlePowerShown(uint8_t stored) {
    return (stored + 255) % 256;
}

uint8_t IdlePowerStored(int shown) {
    // Unsigned arithmetic keeps the wrap-around defined for any int.
    return static_cast<uint8_t>(static_cast<unsigned>(shown) + 1u);
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

void WheelSettingsToConfig(const WheelSettingsValues& values, ControllerConfig& config) {
    config.filterCount = static_cast<uint8_t>(values.filterCount);
    config.wheelSpeed = static_cast<uint16_t>(values.speed);
    config.wheelStepMode = WheelStepModeStored(values.halfStep);
    config.wheelMotorOffWhenIdle = values.motorOffWhenIdle ? 1 : 0;
    config.filterSensorSeesHome = values.sensorSeesHome ? 1 : 0;
    config.powerOutputMode = PowerOutputModeStored(values.powerOutputIndex);
    config.maxStepsBetweenFilters = static_cast<uint16_t>(values.maxStepsBetweenFilters);
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

void FocuserSettingsToConfig(const FocuserSettingsValues& values, int largestDivisor,
                             ControllerConfig& config) {
    config.focuserSpeed = static_cast<uint16_t>(values.speed);
    config.focuserIdlePower = IdlePowerStored(values.idlePower);
    config.focuserBacklash = static_cast<uint16_t>(values.backlash);
    config.thermometerCount = static_cast<uint8_t>(values.thermometerCount);
    config.thermoCompStepsPerDegree = static_cast<int16_t>(values.compensationStepsPerDegree);
    config.temperatureAveraging = static_cast<uint16_t>(values.temperatureAveraging);
    config.directionChangeThreshold = static_cast<uint16_t>(values.directionChangeThreshold);
    config.focuserStepMicrosteps = MicrostepStored(largestDivisor, values.stepChoice);
}

}  // namespace kavri
