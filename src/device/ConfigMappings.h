// SPDX-License-Identifier: GPL-3.0-or-later
// How the settings dialogs and the servers show the fields of the configuration image, and
// which field values theirs stand for. Plain functions without any UI, so every front end maps
// the stored bytes the same way; the values go back through the one configuration write
// (DeviceOperations.h), which refuses what a field cannot hold instead of cutting it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "device/ConfigFields.h"
#include "device/ControllerConfig.h"

namespace kavri {

// --- Single-field mappings -----------------------------------------------------------------

// The idle power is stored one above the value shown, modulo 256: stored 0 shows 255.
int IdlePowerShown(uint8_t stored);
// Shown value (0..255) back to the stored byte: shown + 1, and 255 stores 0. A shown value
// outside 0..255 is returned as it is, for the field's range to refuse.
int64_t IdlePowerStored(int64_t shown);

// The half-step box is checked for a stored step mode below 2 (0 or 1).
bool HalfStepChecked(uint8_t wheelStepMode);
// Checked stores 1 (half step), unchecked 2 (full step).
uint8_t WheelStepModeStored(bool halfStepChecked);

// The four choices of the motor (sensor) power output, in the order of their stored values.
inline constexpr std::array<const char*, 4> kPowerOutputModeTexts = {
    "Всегда =0",
    "Всегда =1",
    "Активен=1, Пассивен=0",
    "Активен=0,  Пассивен=1",
};
// Index of the choice for a stored value, −1 (no selection) when it names none of them.
int PowerOutputIndex(uint8_t stored);
// Low 8 bits of the selected index: no selection (−1) stores 255.
uint8_t PowerOutputModeStored(int index);

// --- Focuser step size ---------------------------------------------------------------------

// The step-size choices the controller offers: divisors 1, 2, 4, … up to `largestDivisor`
// (the second result of "FWubStep"). Empty when `largestDivisor` is below 1.
std::vector<int> MicrostepDivisors(int largestDivisor);
// Label of a choice: "1/%i" with its divisor.
std::string MicrostepLabel(int divisor);
// Index of the choice whose largestDivisor / divisor equals the stored step size, −1 if none.
int MicrostepChoice(int largestDivisor, uint8_t storedStep);
// Stored step size of choice `index` (largestDivisor / 2^index, low 8 bits); 0 without a
// valid choice.
uint8_t MicrostepStored(int largestDivisor, int index);

// --- Whole dialogs -------------------------------------------------------------------------

// The wheel fields as the wheel settings dialog holds them.
struct WheelSettingsValues {
    unsigned filterCount = 0;
    unsigned speed = 0;
    bool halfStep = false;
    bool motorOffWhenIdle = false;
    bool sensorSeesHome = false;
    int powerOutputIndex = -1;  // −1: no selection
    unsigned maxStepsBetweenFilters = 0;
};
WheelSettingsValues WheelSettingsFromConfig(const ControllerConfig& config);
// The field values the dialog's values stand for, not cut to the fields' bytes.
ConfigValues WheelSettingsFields(const WheelSettingsValues& values);

// The focuser fields as the focuser settings dialog holds them. The step size is a choice
// among MicrostepDivisors(largestDivisor), which the caller obtains from "FWubStep".
struct FocuserSettingsValues {
    unsigned speed = 0;
    int idlePower = 0;  // as shown
    unsigned backlash = 0;
    unsigned thermometerCount = 0;
    int compensationStepsPerDegree = 0;
    unsigned temperatureAveraging = 0;
    unsigned directionChangeThreshold = 0;
    int stepChoice = -1;  // index into MicrostepDivisors(largestDivisor), −1 none
};
FocuserSettingsValues FocuserSettingsFromConfig(const ControllerConfig& config, int largestDivisor);
// As WheelSettingsFields; the step size among the choices of `largestDivisor`.
ConfigValues FocuserSettingsFields(const FocuserSettingsValues& values, int largestDivisor);

}  // namespace kavri
