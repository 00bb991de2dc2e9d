// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/WheelSettingsDialog.h"

#include <string>

#include "device/DeviceOperations.h"
#include "ui/dialogs/FieldText.h"
#include "ui/dialogs/SettingsTemplates.h"
#include "ui/dialogs/ValueText.h"

namespace kavri::ui {

using namespace wheel_ids;

namespace {

CheckState Checked(bool on) {
    return on ? CheckState::Checked : CheckState::Clear;
}

}  // namespace

void WheelSettingsDialog::OnInitDialog(DialogControls& controls) {
    c_ = &controls;
    FieldsFromConfig();
    ShowFields();
    c_->SetSpinRange(kSpeedSpin, 10, 1000);
    c_->SetSpinRange(kFilterCountSpin, 2, 10);
}

void WheelSettingsDialog::OnCommand(int id) {
    if (id == kOkButton) OnOK();
    if (id == kCancelButton) c_->EndDialog(kCancelButton);
}

bool WheelSettingsDialog::PortOpen() const {
    return device != nullptr && device->port != nullptr;
}

void WheelSettingsDialog::FieldsFromConfig() {
    if (!PortOpen()) return;
    values = WheelSettingsFromConfig(device->config);
}

bool WheelSettingsDialog::WriteFields() {
    if (!PortOpen()) return true;
    const ConfigValues fields = WheelSettingsFields(values);
    if (const auto refusal = CheckConfigValues(fields)) {
        const std::string name = refusal->field->name;
        RefuseOutOfRange(*c_, WheelSettingsTemplate().caption,
                         name == "filterCount"  ? kFilterCountEdit
                         : name == "wheelSpeed" ? kSpeedEdit
                                                : kMaxStepsEdit,
                         *refusal);
        return false;
    }
    // The image is read back and the filter table follows the count the controller now
    // reports; the device's copy is the controller's whatever happened, so the user must know
    // when the edits did not arrive.
    if (!WriteConfiguration(*device, fields)) {
        c_->ShowMessage(
            FailureMessage("Контроллер не принял настройки колеса.", FailureText(*device)),
            WheelSettingsTemplate().caption, MessageStyle::Warning);
    }
    return true;
}

void WheelSettingsDialog::ShowFields() {
    c_->SetCheck(kHalfStep, Checked(values.halfStep));
    c_->SetCheck(kMotorOff, Checked(values.motorOffWhenIdle));
    c_->SelectComboItem(kPowerOutputCombo, values.powerOutputIndex);
    c_->SetText(kSpeedEdit, std::to_string(values.speed));
    c_->SetCheck(kHomeSensor, Checked(values.sensorSeesHome));
    c_->SetText(kFilterCountEdit, std::to_string(values.filterCount));
    c_->SetText(kMaxStepsEdit, std::to_string(values.maxStepsBetweenFilters));
    EnableControls();
}

bool WheelSettingsDialog::ReadFields() {
    WheelSettingsValues read = values;
    read.halfStep = c_->Check(kHalfStep) == CheckState::Checked;
    read.motorOffWhenIdle = c_->Check(kMotorOff) == CheckState::Checked;
    read.powerOutputIndex = c_->ComboSelection(kPowerOutputCombo);
    read.sensorSeesHome = c_->Check(kHomeSensor) == CheckState::Checked;
    FieldReader reader(*c_, WheelSettingsTemplate().caption);
    reader.Unsigned(kSpeedEdit, read.speed);
    reader.Unsigned(kFilterCountEdit, read.filterCount);
    reader.Unsigned(kMaxStepsEdit, read.maxStepsBetweenFilters);
    EnableControls();
    if (!reader.Ok()) return false;
    values = read;
    return true;
}

void WheelSettingsDialog::EnableControls() {
    const bool open = PortOpen();
    for (int id : {kSpeedSpin, kHalfStep, kMotorOff, kPowerOutputCombo, kHomeSensor}) {
        c_->Enable(id, open);
    }
}

void WheelSettingsDialog::OnOK() {
    // A refused field has its message and the focus, and the dialog stays open.
    if (!ReadFields() || !WriteFields()) return;
    if (device != nullptr) {
        device->SaveRegistry();
        // This dialog never joined the client set; releasing it closes the port only when
        // no other client holds the connection.
        device->DisconnectMulti(this);
    }
    c_->EndDialog(kOkButton);
}

}  // namespace kavri::ui
