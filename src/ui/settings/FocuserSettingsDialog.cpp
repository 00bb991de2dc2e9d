#include "ui/settings/FocuserSettingsDialog.h"

#include <QComboBox>
#include <QPushButton>

#include "device/WheelFocuserDevice.h"
#include "ui/common/DialogBuilder.h"
#include "ui/common/UpDownControl.h"
#include "ui/dialogs/SettingsTemplates.h"
#include "ui/settings/FieldExchange.h"
#include "ui/settings/MicrostepTableDialog.h"
#include "ui/settings/UserPrompts.h"

namespace kavri::ui {

using namespace focuser_ids;

FocuserSettingsDialog::FocuserSettingsDialog(WheelFocuserDevice* device, QWidget* parent)
    : QDialog(parent), device(device) {
    BuildDialog(*this, FocuserSettingsTemplate());

    FieldsFromConfig();
    ShowFields();
    const struct {
        int id, lower, upper;
    } ranges[] = {
        {kIdlePowerSpin, 0, 255},  {kBacklashSpin, 0, 1000},         {kSpeedSpin, 10, 1000},
        {kThermometerSpin, 0, 8},  {kCompensationSpin, -1000, 1000}, {kAveragingSpin, 0, 1000},
        {kThresholdSpin, 0, 1000},
    };
    for (const auto& r : ranges)
        FindControlAs<UpDownControl>(*this, r.id)->SetRange(r.lower, r.upper);
    FillStepList();
    FindControl(*this, kMicrostepsButton)
        ->setEnabled(device != nullptr && device->microstepCount > 0);

    connect(FindControlAs<QPushButton>(*this, kOkButton), &QPushButton::clicked, this,
            &FocuserSettingsDialog::OnOK);
    connect(FindControlAs<QPushButton>(*this, kCancelButton), &QPushButton::clicked, this,
            &QDialog::reject);
    connect(FindControlAs<QPushButton>(*this, kMicrostepsButton), &QPushButton::clicked, this,
            &FocuserSettingsDialog::OnMicrosteps);
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

void FocuserSettingsDialog::FieldsToConfig() {
    if (!PortOpen()) return;
    FocuserSettingsToConfig(values, largestDivisor, device->config);
}

void FocuserSettingsDialog::FillStepList() {
    auto* combo = FindControlAs<QComboBox>(*this, kStepCombo);
    combo->clear();
    for (int divisor : MicrostepDivisors(largestDivisor)) {
        combo->addItem(QString::fromStdString(MicrostepLabel(divisor)));
    }
    // No item matches a step size that is not the largest divisor over a power of two; the
    // list then shows no choice, and OK stores 0.
    const int choice = device != nullptr
                           ? MicrostepChoice(largestDivisor, device->config.focuserStepMicrosteps)
                           : -1;
    combo->setCurrentIndex(choice);
}

void FocuserSettingsDialog::ShowFields() {
    SetUnsignedField(*this, kBacklashEdit, values.backlash);
    SetSignedField(*this, kIdlePowerEdit, values.idlePower);
    SetUnsignedField(*this, kSpeedEdit, values.speed);
    SetSignedField(*this, kCompensationEdit, values.compensationStepsPerDegree);
    SetUnsignedField(*this, kThermometerEdit, values.thermometerCount);
    SetUnsignedField(*this, kAveragingEdit, values.temperatureAveraging);
    SetUnsignedField(*this, kThresholdEdit, values.directionChangeThreshold);
    if (device != nullptr) {
        SetDoubleField(*this, kStepLengthEdit, device->settings.StepLenInMicrons);
        SetSignedField(*this, kMaxFocusPosEdit, device->settings.AscomMaxFocusPos);
        SetSignedField(*this, kFocusShiftEdit, device->settings.AscomFocusShift);
    }
}

bool FocuserSettingsDialog::ReadFields() {
    FocuserSettingsValues read = values;
    double stepLength = 0;
    int32_t maxFocusPos = 0;
    int32_t focusShift = 0;
    FieldReader reader(*this);
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
    // Nothing is taken over unless every field reads, so a refused OK followed by Cancel
    // leaves the driver's settings as they were.
    if (!reader.Ok()) return false;
    read.stepChoice = FindControlAs<QComboBox>(*this, kStepCombo)->currentIndex();
    values = read;
    if (device != nullptr) {
        device->settings.StepLenInMicrons = stepLength;
        device->settings.AscomMaxFocusPos = maxFocusPos;
        device->settings.AscomFocusShift = focusShift;
    }
    return true;
}

void FocuserSettingsDialog::OnOK() {
    if (!ReadFields()) return;  // the refused field has its message and the focus
    FieldsToConfig();
    if (device != nullptr && !device->WriteFilterTable()) {
        // The device's copy keeps the new values; the controller still runs on the old ones
        // until the next connection reads them back.
        ShowMessage({this, QStringLiteral("Контроллер не принял настройки фокусера."),
                     windowTitle(), MessageIcon::Warning});
    }
    accept();
}

void FocuserSettingsDialog::OnMicrosteps() {
    if (device == nullptr) return;
    // The table dialog starts from the controller's table, not from earlier unsent edits.
    device->FWzm();
    MicrostepTableDialog table(device, this);
    table.exec();
}

}  // namespace kavri::ui
