// The focuser settings dialog against the emulated controller (largest step divisor 16): the
// step list, the mapped fields, the driver settings, and the microstep button.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "DialogControls.h"
#include "EmulatedDevice.h"
#include "sim/ImageLayout.h"
#include "ui/common/DialogBuilder.h"
#include "ui/settings/FocuserSettingsDialog.h"
#include "ui/settings/MicrostepTableDialog.h"
#include "ui/settings/SettingsTemplates.h"

namespace kavri::ui {
namespace {

using namespace focuser_ids;
using test::EmulatedDevice;

using test_controls::Control;
using test_controls::Press;

void Retype(QWidget& dialog, int id, const QString& text) {
    auto* edit = Control<QLineEdit>(dialog, id);
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

sim::Image ImageWith(std::size_t offset, uint8_t value) {
    sim::Image image = sim::DefaultImage();
    image[offset] = value;
    return image;
}

QStringList Items(QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

TEST(FocuserSettingsDialogTest, StepListComesFromTheControllerAndSelectsTheStoredStep) {
    const sim::Image image = ImageWith(sim::offset::kFocuserStepMicrosteps, 4);
    EmulatedDevice env(&image);
    ASSERT_TRUE(env.Connected());
    FocuserSettingsDialog dialog(env.device.get());
    auto* steps = Control<QComboBox>(dialog, kStepCombo);
    EXPECT_EQ(Items(steps), (QStringList{"1/1", "1/2", "1/4", "1/8", "1/16"}));
    EXPECT_EQ(steps->currentIndex(), 2);  // 16 / 4 = 4 microsteps

    steps->setCurrentIndex(4);
    Press(dialog, kOkButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(env.emulator.GetImage()[sim::offset::kFocuserStepMicrosteps], 1);
    EXPECT_EQ(env.device->config.focuserStepMicrosteps, 1);
}

TEST(FocuserSettingsDialogTest, AStepSizeOutsideTheListSelectsNothingAndStoresZero) {
    const sim::Image image = ImageWith(sim::offset::kFocuserStepMicrosteps, 3);
    EmulatedDevice env(&image);
    ASSERT_TRUE(env.Connected());
    FocuserSettingsDialog dialog(env.device.get());
    EXPECT_EQ(Control<QComboBox>(dialog, kStepCombo)->currentIndex(), -1);
    Press(dialog, kOkButton);
    EXPECT_EQ(env.emulator.GetImage()[sim::offset::kFocuserStepMicrosteps], 0);
}

TEST(FocuserSettingsDialogTest, IdlePowerIsShownOneBelowTheStoredByte) {
    const sim::Image image = ImageWith(sim::offset::kFocuserIdlePower, 0);
    EmulatedDevice env(&image);
    ASSERT_TRUE(env.Connected());
    {
        FocuserSettingsDialog dialog(env.device.get());
        EXPECT_EQ(Control<QLineEdit>(dialog, kIdlePowerEdit)->text(), "255");
        Retype(dialog, kIdlePowerEdit, "0");
        Press(dialog, kOkButton);
        EXPECT_EQ(env.emulator.GetImage()[sim::offset::kFocuserIdlePower], 1);
    }
    FocuserSettingsDialog again(env.device.get());
    EXPECT_EQ(Control<QLineEdit>(again, kIdlePowerEdit)->text(), "0");
    Retype(again, kIdlePowerEdit, "255");
    Press(again, kOkButton);
    EXPECT_EQ(env.emulator.GetImage()[sim::offset::kFocuserIdlePower], 0);
}

TEST(FocuserSettingsDialogTest, FieldsRoundTripThroughTheController) {
    EmulatedDevice env;
    ASSERT_TRUE(env.Connected());
    {
        FocuserSettingsDialog dialog(env.device.get());
        Retype(dialog, kThermometerEdit, "6");
        Retype(dialog, kCompensationEdit, "-250");
        Retype(dialog, kAveragingEdit, "12");
        Retype(dialog, kThresholdEdit, "40");
        Retype(dialog, kBacklashEdit, "33");
        Retype(dialog, kSpeedEdit, "321");
        Press(dialog, kOkButton);
        EXPECT_TRUE(env.messages.empty());
    }
    const sim::Image stored = env.emulator.GetImage();
    EXPECT_EQ(stored[sim::offset::kThermometerCount], 6);
    EXPECT_EQ(sim::ReadI16(stored, sim::offset::kThermoCompStepsPerDegree), -250);
    EXPECT_EQ(sim::ReadU16(stored, sim::offset::kTemperatureAveraging), 12);
    EXPECT_EQ(sim::ReadU16(stored, sim::offset::kDirectionChangeThreshold), 40);
    EXPECT_EQ(sim::ReadU16(stored, sim::offset::kFocuserBacklash), 33);
    EXPECT_EQ(sim::ReadU16(stored, sim::offset::kFocuserSpeed), 321);

    // A fresh connection reads the same values back into a new dialog.
    env.device->DisconnectMulti(&env.mainDialog);
    ASSERT_TRUE(env.device->ConnectMulti(&env.mainDialog));
    FocuserSettingsDialog reopened(env.device.get());
    EXPECT_EQ(Control<QLineEdit>(reopened, kThermometerEdit)->text(), "6");
    EXPECT_EQ(Control<QLineEdit>(reopened, kCompensationEdit)->text(), "-250");
}

TEST(FocuserSettingsDialogTest, DriverSettingsAreExchangedWithTheDevice) {
    EmulatedDevice env;
    ASSERT_TRUE(env.Connected());
    env.device->settings.StepLenInMicrons = 0.1 + 0.2;
    env.device->settings.AscomMaxFocusPos = 45000;
    env.device->settings.AscomFocusShift = -120;
    FocuserSettingsDialog dialog(env.device.get());
    EXPECT_EQ(Control<QLineEdit>(dialog, kStepLengthEdit)->text(), "0.3");
    EXPECT_EQ(Control<QLineEdit>(dialog, kMaxFocusPosEdit)->text(), "45000");
    EXPECT_EQ(Control<QLineEdit>(dialog, kFocusShiftEdit)->text(), "-120");

    Retype(dialog, kStepLengthEdit, "0.123456789012345678");
    Retype(dialog, kFocusShiftEdit, "500");
    Press(dialog, kOkButton);
    EXPECT_DOUBLE_EQ(env.device->settings.StepLenInMicrons, 0.123456789012345678);
    EXPECT_EQ(env.device->settings.AscomMaxFocusPos, 45000);
    EXPECT_EQ(env.device->settings.AscomFocusShift, 500);

    FocuserSettingsDialog again(env.device.get());
    EXPECT_EQ(Control<QLineEdit>(again, kStepLengthEdit)->text(), "0.123456789012346");
}

TEST(FocuserSettingsDialogTest, ARefusedFieldTakesOverNothing) {
    EmulatedDevice env;
    ASSERT_TRUE(env.Connected());
    const SettingsBlock before = env.device->settings;
    FocuserSettingsDialog dialog(env.device.get());
    dialog.show();
    Retype(dialog, kStepLengthEdit, "2.5");
    Retype(dialog, kMaxFocusPosEdit, "1000");
    Retype(dialog, kFocusShiftEdit, "12x");
    Press(dialog, kOkButton);

    ASSERT_EQ(env.messages.size(), 1u);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.focusWidget(), Control<QLineEdit>(dialog, kFocusShiftEdit));
    EXPECT_EQ(env.emulator.CommandCount("FWwriteEE"), 0);
    EXPECT_EQ(env.device->settings.StepLenInMicrons, before.StepLenInMicrons);
    EXPECT_EQ(env.device->settings.AscomMaxFocusPos, before.AscomMaxFocusPos);

    Press(dialog, kCancelButton);
    EXPECT_EQ(env.device->settings.AscomMaxFocusPos, before.AscomMaxFocusPos);
}

TEST(FocuserSettingsDialogTest, ARefusedWriteIsToldToTheUser) {
    EmulatedDevice env;
    ASSERT_TRUE(env.Connected());
    env.emulator.AddFault({sim::FaultKind::kWriteEENak, "FWwriteEE"});
    FocuserSettingsDialog dialog(env.device.get());
    Retype(dialog, kBacklashEdit, "77");
    Press(dialog, kOkButton);
    ASSERT_EQ(env.messages.size(), 1u);
    EXPECT_EQ(env.messages[0].text, QStringLiteral("Контроллер не принял настройки фокусера."));
    EXPECT_EQ(env.device->config.focuserBacklash, 77);  // the copy keeps the edit
}

TEST(FocuserSettingsDialogTest, MicrostepsNeedATable) {
    // The table read at connection is lost: no table, so no button.
    EmulatedDevice env(nullptr, {{sim::FaultKind::kDrop, "FWzm"}});
    ASSERT_TRUE(env.Connected());
    ASSERT_EQ(env.device->microstepCount, -1);
    FocuserSettingsDialog dialog(env.device.get());
    EXPECT_FALSE(Control<QPushButton>(dialog, kMicrostepsButton)->isEnabled());
}

TEST(FocuserSettingsDialogTest, MicrostepsReadsTheTableAgainBeforeOpening) {
    EmulatedDevice env;
    ASSERT_TRUE(env.Connected());
    ASSERT_GT(env.device->microstepCount, 0);
    FocuserSettingsDialog dialog(env.device.get());
    ASSERT_TRUE(Control<QPushButton>(dialog, kMicrostepsButton)->isEnabled());
    // Unsent edits in the device's copy give way to the controller's table.
    env.device->microstepTable[1] = 99;
    const int reads = env.emulator.CommandCount("FWzm");

    bool opened = false;
    QTimer::singleShot(0, [&] {
        auto* table = qobject_cast<MicrostepTableDialog*>(QApplication::activeModalWidget());
        opened = table != nullptr;
        if (table != nullptr) table->reject();
    });
    Press(dialog, kMicrostepsButton);
    EXPECT_TRUE(opened);
    EXPECT_EQ(env.emulator.CommandCount("FWzm"), reads + 1);
    EXPECT_EQ(env.device->microstepTable[1], env.emulator.MicrostepTable()[1]);
}

}  // namespace
}  // namespace kavri::ui
