// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/FocuserSettingsDialog.h"

#include <map>
#include <string>
#include <vector>

#include "device/DeviceOperations.h"
#include "ui/dialogs/FieldText.h"
#include "ui/dialogs/MicrostepTableDialog.h"
#include "ui/dialogs/SettingsTemplates.h"
#include "ui/dialogs/ValueText.h"

namespace kavri::ui {

using namespace focuser_ids;

void FocuserSettingsDialog::OnInitDialog(DialogControls& controls) {
    c_ = &controls;
    FieldsFromConfig();
    ShowFields();
    const struct {
        int id, lower, upper;
    } ranges[] = {
        {kIdlePowerSpin, 0, 255},  {kBacklashSpin, 0, 1000},         {kSpeedSpin, 10, 1000},
        {kThermometerSpin, 0, 8},  {kCompensationSpin, -1000, 1000}, {kAveragingSpin, 0, 1000},
        {kThresholdSpin, 0, 1000},
    };
    for (const auto& r : ranges) c_->SetSpinRange(r.id, r.lower, r.upper);
    FillStepList();
    c_->Enable(kMicrostepsButton, device != nullptr && device->microstepCount > 0);
}

void FocuserSettingsDialog::OnCommand(int id) {
    if (id == kOkButton) OnOK();
    if (id == kCancelButton) c_->EndDialog(kCancelButton);
    if (id == kMicrostepsButton) OnMicrosteps();
}

bool FocuserSettingsDialog::PortOpen() const {
    return device != nullptr && device->port != nullptr;
}

void FocuserSettingsDialog::FieldsFromConfig() {
    if (!PortOpen()) return;
    // The step choice is made when the list is filled, from the divisor asked for below.
    values = FocuserSettingsFromConfig(device->config, 0);
    device->FWubStep(currentStep, largestDivisor);
}

void FocuserSettingsDialog::FillStepList() {
    std::vector<std::string> items;
    for (int divisor : MicrostepDivisors(largestDivisor)) items.push_back(MicrostepLabel(divisor));
    c_->SetComboItems(kStepCombo, items);
    // No item matches a step size that is not the largest divisor over a power of two; the
    // list then shows no choice, and OK stores 0.
    const int choice = device != nullptr
                           ? MicrostepChoice(largestDivisor, device->config.focuserStepMicrosteps)
                           : -1;
    c_->SelectComboItem(kStepCombo, choice);
}

void FocuserSettingsDialog::ShowFields() {
    c_->SetText(kBacklashEdit, std::to_string(values.backlash));
    c_->SetText(kIdlePowerEdit, std::to_string(values.idlePower));
    c_->SetText(kSpeedEdit, std::to_string(values.speed));
    c_->SetText(kCompensationEdit, std::to_string(values.compensationStepsPerDegree));
    c_->SetText(kThermometerEdit, std::to_string(values.thermometerCount));
    c_->SetText(kAveragingEdit, std::to_string(values.temperatureAveraging));
    c_->SetText(kThresholdEdit, std::to_string(values.directionChangeThreshold));
    if (device != nullptr) {
        c_->SetText(kStepLengthEdit, FormatDoubleField(device->settings.StepLenInMicrons));
        c_->SetText(kMaxFocusPosEdit, std::to_string(device->settings.AscomMaxFocusPos));
        c_->SetText(kFocusShiftEdit, std::to_string(device->settings.AscomFocusShift));
    }
}

bool FocuserSettingsDialog::ReadFields() {
    FocuserSettingsValues read = values;
    double stepLength = 0;
    int32_t maxFocusPos = 0;
    int32_t focusShift = 0;
    FieldReader reader(*c_, FocuserSettingsTemplate().caption);
    reader.Unsigned(kBacklashEdit, read.backlash);
    reader.Signed(kIdlePowerEdit, read.idlePower);
    reader.Unsigned(kSpeedEdit, read.speed);
    reader.Signed(kCompensationEdit, read.compensationStepsPerDegree);
    reader.Unsigned(kThermometerEdit, read.thermometerCount);
    reader.Unsigned(kAveragingEdit, read.temperatureAveraging);
    reader.Unsigned(kThresholdEdit, read.directionChangeThreshold);
    reader.Double(kStepLengthEdit, stepLength);
    reader.Signed(kMaxFocusPosEdit, maxFocusPos);
    reader.Signed(kFocusShiftEdit, focusShift);
    // Nothing is taken over unless every field reads and fits, so a refused OK followed by
    // Cancel leaves the driver's settings as they were.
    if (!reader.Ok()) return false;
    read.stepChoice = c_->ComboSelection(kStepCombo);
    const ConfigValues readFields = FocuserSettingsFields(read, largestDivisor);
    if (const auto refusal = PortOpen() ? CheckConfigValues(readFields) : std::nullopt) {
        static const std::map<std::string, int> edits = {
            {"focuserSpeed", kSpeedEdit},
            {"focuserIdlePower", kIdlePowerEdit},
            {"focuserBacklash", kBacklashEdit},
            {"thermometerCount", kThermometerEdit},
            {"thermoCompStepsPerDegree", kCompensationEdit},
            {"temperatureAveraging", kAveragingEdit},
            {"directionChangeThreshold", kThresholdEdit},
        };
        const auto edit = edits.find(refusal->field->name);
        RefuseOutOfRange(*c_, FocuserSettingsTemplate().caption,
                         edit != edits.end() ? edit->second : kSpeedEdit, *refusal);
        return false;
    }
    values = read;
    fields = readFields;
    if (device != nullptr) {
        device->settings.StepLenInMicrons = stepLength;
        device->settings.AscomMaxFocusPos = maxFocusPos;
        device->settings.AscomFocusShift = focusShift;
    }
    return true;
}

void FocuserSettingsDialog::OnOK() {
    if (!ReadFields()) return;  // the refused field has its message and the focus
    // Read back, so the device's copy is what the controller holds whatever happened.
    if (PortOpen() && !WriteConfiguration(*device, fields)) {
        c_->ShowMessage(
            FailureMessage("Контроллер не принял настройки фокусера.", FailureText(*device)),
            FocuserSettingsTemplate().caption, MessageStyle::Warning);
    }
    c_->EndDialog(kOkButton);
}

void FocuserSettingsDialog::OnMicrosteps() {
    if (device == nullptr) return;
    // The table dialog starts from the controller's table, not from earlier unsent edits.
    device->FWzm();
    MicrostepTableDialog table(device);
    c_->RunModal(MicrostepTableTemplate(), table);
}

}  // namespace kavri::ui
