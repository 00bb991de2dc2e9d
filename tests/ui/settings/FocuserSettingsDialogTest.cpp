// The focuser settings dialog against the emulated controller (largest step divisor 16): the
// step list, the image's fields both ways, the driver settings, refusals, and the microstep
// button.
#include <QTimer>

#include "sim/ImageLayout.h"
#include "ui/main/MainDialogRig.h"
#include "ui/settings/FocuserSettingsDialog.h"
#include "ui/settings/MicrostepTableDialog.h"
#include "ui/settings/SettingsTemplates.h"

namespace kavri::ui::test {
namespace {

using namespace focuser_ids;
namespace at = sim::offset;

class FocuserSettingsDialogTest : public MainDialogRig {
protected:
    void StartWith(const sim::Image& image) {
        Start();
        emulator_->SetImage(image);
        Connect();
    }
    static void Retype(QWidget& dialog, int id, const QString& text) {
        auto* edit = Find<QLineEdit>(dialog, id);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
};

TEST_F(FocuserSettingsDialogTest, StepListComesFromTheControllerAndSelectsTheStoredStep) {
    const struct {
        int stored, shown, chosen, storedAfter;
    } cases[] = {{4, 2, 4, 1}, {3, -1, -1, 0}};  // 3 is no choice: nothing shown, 0 stored
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        sim::Image image = sim::DefaultImage();
        image[at::kFocuserStepMicrosteps] = static_cast<uint8_t>(c.stored);
        StartWith(image);
        FocuserSettingsDialog dialog(device_.get());
        auto* steps = Find<QComboBox>(dialog, kStepCombo);
        ASSERT_EQ(steps->count(), 5);
        EXPECT_EQ(steps->itemText(0), "1/1");
        EXPECT_EQ(steps->itemText(4), "1/16");
        EXPECT_EQ(steps->currentIndex(), c.shown);
        steps->setCurrentIndex(c.chosen);
        Press(dialog, kOkButton);
        EXPECT_EQ(emulator_->GetImage()[at::kFocuserStepMicrosteps], c.storedAfter);
    }
}

// Each edit shows its field of the image and OK writes what was typed back to that field.
TEST_F(FocuserSettingsDialogTest, FieldsAreShownAndStoredBothWays) {
    const struct {
        int id;
        size_t offset;
        int width;  // bytes; 2 is read signed when `stored` is negative
        int image;
        const char* shown;
        const char* typed;
        int stored;
    } fields[] = {
        {kIdlePowerEdit, at::kFocuserIdlePower, 1, 0, "255", "0", 1},  // shown one below
        {kThermometerEdit, at::kThermometerCount, 1, 3, "3", "6", 6},
        {kCompensationEdit, at::kThermoCompStepsPerDegree, 2, 7, "7", "-250", -250},
        {kAveragingEdit, at::kTemperatureAveraging, 2, 5, "5", "12", 12},
        {kThresholdEdit, at::kDirectionChangeThreshold, 2, 9, "9", "40", 40},
        {kBacklashEdit, at::kFocuserBacklash, 2, 21, "21", "33", 33},
        {kSpeedEdit, at::kFocuserSpeed, 2, 101, "101", "321", 321},
    };
    sim::Image image = sim::DefaultImage();
    for (const auto& f : fields) {
        if (f.width == 1) image[f.offset] = static_cast<uint8_t>(f.image);
        if (f.width == 2) sim::WriteU16(image, f.offset, static_cast<uint16_t>(f.image));
    }
    StartWith(image);
    FocuserSettingsDialog dialog(device_.get());
    for (const auto& f : fields) {
        EXPECT_EQ(Find<QLineEdit>(dialog, f.id)->text(), f.shown) << f.id;
        Retype(dialog, f.id, f.typed);
    }
    Press(dialog, kOkButton);
    EXPECT_TRUE(messages_.empty());
    const sim::Image stored = emulator_->GetImage();
    for (const auto& f : fields) {
        const int value = f.width == 1   ? stored[f.offset]
                          : f.stored < 0 ? sim::ReadI16(stored, f.offset)
                                         : sim::ReadU16(stored, f.offset);
        EXPECT_EQ(value, f.stored) << f.id;
    }

    // A refused write leaves the edits in the device's copy and tells the user.
    emulator_->AddFault({sim::FaultKind::kWriteEENak, "FWwriteEE"});
    FocuserSettingsDialog again(device_.get());
    Retype(again, kBacklashEdit, "77");
    Press(again, kOkButton);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, QStringLiteral("Контроллер не принял настройки фокусера."));
    EXPECT_EQ(device_->config.focuserBacklash, 77);
}

// The driver's step length, range and offset; a field that does not read takes over nothing.
TEST_F(FocuserSettingsDialogTest, DriverSettingsAreExchangedWithTheDevice) {
    StartWith(sim::DefaultImage());
    device_->settings.StepLenInMicrons = 0.1 + 0.2;
    device_->settings.AscomMaxFocusPos = 45000;
    device_->settings.AscomFocusShift = -120;
    FocuserSettingsDialog dialog(device_.get());
    dialog.show();
    EXPECT_EQ(Find<QLineEdit>(dialog, kStepLengthEdit)->text(), "0.3");
    EXPECT_EQ(Find<QLineEdit>(dialog, kMaxFocusPosEdit)->text(), "45000");
    EXPECT_EQ(Find<QLineEdit>(dialog, kFocusShiftEdit)->text(), "-120");

    Retype(dialog, kStepLengthEdit, "0.123456789012345678");
    Retype(dialog, kMaxFocusPosEdit, "1000");
    Retype(dialog, kFocusShiftEdit, "12x");
    Press(dialog, kOkButton);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.focusWidget(), Find<QLineEdit>(dialog, kFocusShiftEdit));
    EXPECT_EQ(Sent("FWwriteEE"), 0);
    EXPECT_EQ(device_->settings.StepLenInMicrons, 0.1 + 0.2);
    EXPECT_EQ(device_->settings.AscomMaxFocusPos, 45000);

    Retype(dialog, kFocusShiftEdit, "500");
    Press(dialog, kOkButton);
    EXPECT_DOUBLE_EQ(device_->settings.StepLenInMicrons, 0.123456789012345678);
    EXPECT_EQ(device_->settings.AscomMaxFocusPos, 1000);
    EXPECT_EQ(device_->settings.AscomFocusShift, 500);
    FocuserSettingsDialog again(device_.get());
    EXPECT_EQ(Find<QLineEdit>(again, kStepLengthEdit)->text(), "0.123456789012346");
}

// The button needs a table read at connection, and reads it again before the table dialog
// opens, so unsent edits in the device's copy give way to the controller's table.
TEST_F(FocuserSettingsDialogTest, MicrostepsReadTheControllersTableBeforeOpening) {
    Start();
    emulator_->AddFault({sim::FaultKind::kDrop, "FWzm"});
    Connect();
    ASSERT_EQ(device_->microstepCount, -1);
    EXPECT_FALSE(Find(FocuserSettingsDialog(device_.get()), kMicrostepsButton)->isEnabled());

    emulator_->ClearFaults();
    dialog_->OnDisconnect();
    Connect();
    FocuserSettingsDialog dialog(device_.get());
    ASSERT_TRUE(Find(dialog, kMicrostepsButton)->isEnabled());
    device_->microstepTable[1] = 99;
    bool opened = false;
    QTimer::singleShot(0, [&] {
        auto* table = qobject_cast<MicrostepTableDialog*>(QApplication::activeModalWidget());
        opened = table != nullptr;
        if (table != nullptr) table->reject();
    });
    Press(dialog, kMicrostepsButton);
    EXPECT_TRUE(opened);
    EXPECT_EQ(device_->microstepTable[1], emulator_->MicrostepTable()[1]);
}

}  // namespace
}  // namespace kavri::ui::test
