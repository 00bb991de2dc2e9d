#include "ui/settings/WheelSettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "device/WheelFocuserDevice.h"
#include "ui/common/DialogBuilder.h"
#include "ui/common/UpDownControl.h"
#include "ui/dialogs/SettingsTemplates.h"
#include "ui/settings/FieldExchange.h"
#include "ui/settings/UserPrompts.h"

namespace kavri::ui {

using namespace wheel_ids;

WheelSettingsDialog::WheelSettingsDialog(WheelFocuserDevice* device, QWidget* parent)
    : QDialog(parent), device(device) {
    BuildDialog(*this, WheelSettingsTemplate());
    filterCountSpin = FindControlAs<UpDownControl>(*this, kFilterCountSpin);
    speedSpin = FindControlAs<UpDownControl>(*this, kSpeedSpin);

    FieldsFromConfig();
    ShowFields();
    speedSpin->SetRange(10, 1000);
    filterCountSpin->SetRange(2, 10);

    connect(FindControlAs<QPushButton>(*this, kOkButton), &QPushButton::clicked, this,
            &WheelSettingsDialog::OnOK);
    connect(FindControlAs<QPushButton>(*this, kCancelButton), &QPushButton::clicked, this,
            &QDialog::reject);
}

bool WheelSettingsDialog::PortOpen() const {
    return device != nullptr && device->port != nullptr;
}

void WheelSettingsDialog::FieldsFromConfig() {
    if (!PortOpen()) return;
    values = WheelSettingsFromConfig(device->config);
}

void WheelSettingsDialog::FieldsToConfig() {
    if (!PortOpen()) return;
    WheelSettingsToConfig(values, device->config);
}

void WheelSettingsDialog::ShowFields() {
    FindControlAs<QCheckBox>(*this, kHalfStep)->setChecked(values.halfStep);
    FindControlAs<QCheckBox>(*this, kMotorOff)->setChecked(values.motorOffWhenIdle);
    FindControlAs<QComboBox>(*this, kPowerOutputCombo)->setCurrentIndex(values.powerOutputIndex);
    SetUnsignedField(*this, kSpeedEdit, values.speed);
    FindControlAs<QCheckBox>(*this, kHomeSensor)->setChecked(values.sensorSeesHome);
    SetUnsignedField(*this, kFilterCountEdit, values.filterCount);
    SetUnsignedField(*this, kMaxStepsEdit, values.maxStepsBetweenFilters);
    EnableControls();
}

bool WheelSettingsDialog::ReadFields() {
    WheelSettingsValues read = values;
    read.halfStep = FindControlAs<QCheckBox>(*this, kHalfStep)->isChecked();
    read.motorOffWhenIdle = FindControlAs<QCheckBox>(*this, kMotorOff)->isChecked();
    read.powerOutputIndex = FindControlAs<QComboBox>(*this, kPowerOutputCombo)->currentIndex();
    read.sensorSeesHome = FindControlAs<QCheckBox>(*this, kHomeSensor)->isChecked();
    FieldReader reader(*this);
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
        FindControl(*this, id)->setEnabled(open);
    }
}

void WheelSettingsDialog::OnOK() {
    if (!ReadFields()) return;  // the refused field has its message and the focus
    FieldsToConfig();
    if (device != nullptr) {
        if (!device->WriteFilterTable()) {
            // The probe below reads back what the controller kept, so the user must know the
            // edits did not arrive.
            ShowMessage({this, QStringLiteral("Контроллер не принял настройки колеса."),
                         windowTitle(), MessageIcon::Warning});
        }
        // Reads the image back and resizes the filter table to the count the controller
        // now reports.
        device->Probe();
        device->SaveRegistry();
        // This dialog never joined the client set; releasing it closes the port only when
        // no other client holds the connection.
        device->DisconnectMulti(this);
    }
    accept();
}

}  // namespace kavri::ui
