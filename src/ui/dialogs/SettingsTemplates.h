// SPDX-License-Identifier: GPL-3.0-or-later
// Layouts of the three settings dialogs, as data for the dialog builder, and the ids by which
// the code and the tests address their controls.
#pragma once

#include "ui/dialogs/DialogTemplate.h"

namespace kavri::ui {

// Ids shared by every dialog: the accept and the cancel button.
constexpr int kOkButton = 1;
constexpr int kCancelButton = 2;

// Wheel settings (template 203).
namespace wheel_ids {
constexpr int kHalfStep = 3008;
constexpr int kMotorOff = 3009;
constexpr int kHomeSensor = 3010;
constexpr int kSpeedEdit = 3007;
constexpr int kSpeedSpin = 3016;
constexpr int kFilterCountEdit = 3014;
constexpr int kFilterCountSpin = 3020;
constexpr int kMaxStepsEdit = 3049;
constexpr int kPowerOutputCombo = 3012;
}  // namespace wheel_ids

// Focuser settings (template 201).
namespace focuser_ids {
constexpr int kStepCombo = 3036;
constexpr int kMicrostepsButton = 3053;
constexpr int kSpeedEdit = 3039;
constexpr int kSpeedSpin = 3041;
constexpr int kIdlePowerEdit = 3037;
constexpr int kIdlePowerSpin = 3022;
constexpr int kBacklashEdit = 3011;
constexpr int kBacklashSpin = 3021;
constexpr int kThermometerEdit = 3013;
constexpr int kThermometerSpin = 3023;
constexpr int kCompensationEdit = 3038;
constexpr int kCompensationSpin = 3040;
constexpr int kAveragingEdit = 3045;
constexpr int kAveragingSpin = 3046;
constexpr int kThresholdEdit = 3047;
constexpr int kThresholdSpin = 3048;
constexpr int kStepLengthEdit = 3015;
constexpr int kMaxFocusPosEdit = 3017;
constexpr int kFocusShiftEdit = 3019;
}  // namespace focuser_ids

// Microstep table (template 231). Its accept button reads "Apply", its cancel button "Exit".
namespace microstep_ids {
constexpr int kSin = 3054;
constexpr int kTan = 3056;
constexpr int kSinSin3 = 3055;
constexpr int kPowEdit = 3059;
constexpr int kPowSpin = 3060;
constexpr int kInverse = 3057;
constexpr int kTableEdit = 3058;
}  // namespace microstep_ids

const DialogTemplate& WheelSettingsTemplate();
const DialogTemplate& FocuserSettingsTemplate();
const DialogTemplate& MicrostepTableTemplate();

}  // namespace kavri::ui
