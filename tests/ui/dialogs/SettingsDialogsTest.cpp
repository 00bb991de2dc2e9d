// SPDX-License-Identifier: GPL-3.0-or-later
// The three settings dialogs against the emulated controller (5 filters, largest step divisor
// 16, an 8-entry microstep table): what they show, what OK or "Apply" writes, and that Cancel,
// a refused field or a refused write is handled as the user expects. Then the main dialog's
// settings commands: the dialogs opened from it, and settings files saved and loaded through
// the file prompts.
#include <cstring>
#include <fstream>

#include "DialogRig.h"
#include "sim/ImageLayout.h"
#include "ui/dialogs/FocuserSettingsDialog.h"
#include "ui/dialogs/MicrostepTableDialog.h"
#include "ui/dialogs/SettingsTemplates.h"
#include "ui/dialogs/WheelSettingsDialog.h"

namespace kavri::ui::test {
namespace {

namespace at = sim::offset;

class SettingsDialogsTest : public DialogRig {
protected:
    void StartWith(const sim::Image& image) {
        Start();
        emulator_->SetImage(image);
        Connect();
    }
    // A settings dialog's behaviour opened in a window of its own.
    template <typename Behaviour>
    struct Opened {
        Opened(const DialogTemplate& t, WheelFocuserDevice* d, FakeDesktop& desktop)
            : behaviour(d), window(t, desktop) {
            window.Open(behaviour);
        }
        Behaviour behaviour;
        FakeControls window;
    };
    using Wheel = Opened<WheelSettingsDialog>;
    using Focuser = Opened<FocuserSettingsDialog>;
};

// Cancel stores nothing. Every control shows its field of the image (the step mode 0 shows as
// half step, stored as 1); an empty field, or a value the controller cannot hold, is refused
// and keeps the dialog open; OK stores every field, the arrows stopping at 10 filters and 1000
// steps/s, reads it back, so the table follows the new count, saves the settings and keeps the
// main dialog's connection. A write the controller refuses is told, and the device's copy is
// the controller's again.
TEST_F(SettingsDialogsTest, WheelSettingsStoreEveryFieldOnOkAndNothingOtherwise) {
    using namespace wheel_ids;
    sim::Image image = sim::DefaultImage();
    image[at::kWheelStepMode] = 0;
    image[at::kWheelMotorOffWhenIdle] = 1;
    image[at::kFilterSensorSeesHome] = 0;
    image[at::kPowerOutputMode] = 1;
    sim::WriteU16(image, at::kWheelSpeed, 250);
    sim::WriteU16(image, at::kMaxStepsBetweenFilters, 1234);
    StartWith(image);
    const ControllerConfig config = device_->config;
    const int flushes = store_.FlushCount();
    {
        Wheel cancelled(WheelSettingsTemplate(), device_.get(), desktop_);
        cancelled.window.Click(kMotorOff);
        cancelled.window.Arrow(kFilterCountSpin, false);
        cancelled.window.Press({Key::Escape});
        EXPECT_EQ(cancelled.window.Result(), kCancelButton);
    }
    EXPECT_EQ(std::memcmp(&config, &device_->config, sizeof config), 0);
    EXPECT_EQ(store_.FlushCount(), flushes);

    Wheel opened(WheelSettingsTemplate(), device_.get(), desktop_);
    FakeControls& dialog = opened.window;
    EXPECT_EQ(dialog.Check(kHalfStep), CheckState::Checked);
    EXPECT_EQ(dialog.Check(kMotorOff), CheckState::Checked);
    EXPECT_EQ(dialog.Check(kHomeSensor), CheckState::Clear);
    EXPECT_EQ(dialog.ComboSelection(kPowerOutputCombo), 1);
    EXPECT_EQ(dialog.Text(kSpeedEdit), "250");
    EXPECT_EQ(dialog.Text(kFilterCountEdit), "5");
    EXPECT_EQ(dialog.Text(kMaxStepsEdit), "1234");
    dialog.Click(kMotorOff);
    dialog.Click(kHomeSensor);
    dialog.SelectComboItem(kPowerOutputCombo, 2);
    for (int i = 0; i < 6; ++i) dialog.Arrow(kFilterCountSpin, true);
    dialog.Type(kSpeedEdit, "999");
    for (int i = 0; i < 2; ++i) dialog.Arrow(kSpeedSpin, true);
    dialog.Type(kMaxStepsEdit, "");
    dialog.Press({Key::Enter});  // the default button: OK
    ASSERT_EQ(MessageCount(), 1);
    EXPECT_EQ(Messages()[0].style, MessageStyle::Warning);
    EXPECT_EQ(dialog.FocusedControl(), kMaxStepsEdit);
    EXPECT_EQ(dialog.selected, kMaxStepsEdit);
    EXPECT_FALSE(dialog.Result());
    EXPECT_EQ(emulator_->GetImage(), image);
    dialog.Type(kMaxStepsEdit, "700");
    // A count the controller cannot hold is refused with its range, and nothing is sent (it
    // used to be stored cut to a byte: 300 as 44).
    const std::string ten = dialog.Text(kFilterCountEdit);
    dialog.Type(kFilterCountEdit, "300");
    dialog.Click(kOkButton);
    ASSERT_EQ(MessageCount(), 2);
    EXPECT_EQ(LastMessage(), "Введите целое число от 1 до 10.");
    EXPECT_EQ(dialog.FocusedControl(), kFilterCountEdit);
    EXPECT_FALSE(dialog.Result());
    EXPECT_EQ(Sent("FWwriteEE"), 0);
    EXPECT_EQ(emulator_->GetImage(), image);
    dialog.Type(kFilterCountEdit, ten);
    dialog.Click(kOkButton);
    EXPECT_EQ(dialog.Result(), kOkButton);
    EXPECT_EQ(MessageCount(), 2);
    const sim::Image stored = emulator_->GetImage();
    EXPECT_EQ(stored[at::kWheelStepMode], 1);
    EXPECT_EQ(stored[at::kWheelMotorOffWhenIdle], 0);
    EXPECT_EQ(stored[at::kFilterSensorSeesHome], 1);
    EXPECT_EQ(stored[at::kPowerOutputMode], 2);
    EXPECT_EQ(stored[at::kFilterCount], 10);
    EXPECT_EQ(sim::ReadU16(stored, at::kWheelSpeed), 1000);
    EXPECT_EQ(sim::ReadU16(stored, at::kMaxStepsBetweenFilters), 700);
    EXPECT_EQ(device_->filters.size(), 10u);
    EXPECT_NE(device_->port, nullptr);
    EXPECT_GT(store_.FlushCount(), flushes);

    emulator_->AddFault({sim::FaultKind::kWriteEENak, "FWwriteEE"});
    Wheel refused(WheelSettingsTemplate(), device_.get(), desktop_);
    refused.window.Click(kHomeSensor);
    refused.window.Click(kOkButton);
    ASSERT_EQ(MessageCount(), 3);
    EXPECT_EQ(LastMessage(),
              "Контроллер не принял настройки колеса.\n\nthe controller did not accept the "
              "configuration");
    EXPECT_EQ(device_->config.filterSensorSeesHome, 1);
}

// Each edit shows its field of the image (the idle power one below the stored byte) or of the
// driver settings, and OK writes what was typed back; the step list comes from the controller
// and selects the stored step. A field that does not read, or holds what the controller cannot,
// takes over nothing; a write the controller refuses is told, and the device's copy is the
// controller's again.
TEST_F(SettingsDialogsTest, FocuserSettingsShowTheImageAndOkStoresEveryField) {
    using namespace focuser_ids;
    const struct {
        int id;
        size_t offset;
        int bytes, image;
        const char* shown;
        const char* typed;
        int stored;  // read signed when negative
    } fields[] = {
        {kIdlePowerEdit, at::kFocuserIdlePower, 1, 0, "255", "0", 1},
        {kThermometerEdit, at::kThermometerCount, 1, 3, "3", "6", 6},
        {kCompensationEdit, at::kThermoCompStepsPerDegree, 2, 7, "7", "-250", -250},
        {kAveragingEdit, at::kTemperatureAveraging, 2, 5, "5", "12", 12},
        {kThresholdEdit, at::kDirectionChangeThreshold, 2, 9, "9", "40", 40},
        {kBacklashEdit, at::kFocuserBacklash, 2, 21, "21", "33", 33},
        {kSpeedEdit, at::kFocuserSpeed, 2, 101, "101", "321", 321},
        {kStepLengthEdit, 0, 0, 0, "0.3", "0.123456789012345678", 0},
        {kMaxFocusPosEdit, 0, 0, 0, "45000", "1000", 0},
        {kFocusShiftEdit, 0, 0, 0, "-120", "12x", 0},  // refused first
    };
    sim::Image image = sim::DefaultImage();
    image[at::kFocuserStepMicrosteps] = 4;
    for (const auto& f : fields) {
        if (f.bytes == 1) image[f.offset] = static_cast<uint8_t>(f.image);
        if (f.bytes == 2) sim::WriteU16(image, f.offset, static_cast<uint16_t>(f.image));
    }
    StartWith(image);
    device_->settings.StepLenInMicrons = 0.1 + 0.2;
    device_->settings.AscomMaxFocusPos = 45000;
    device_->settings.AscomFocusShift = -120;
    Focuser opened(FocuserSettingsTemplate(), device_.get(), desktop_);
    FakeControls& dialog = opened.window;
    ASSERT_EQ(dialog.ComboItems(kStepCombo).size(), 5u);
    EXPECT_EQ(dialog.ComboItems(kStepCombo)[4], "1/16");
    EXPECT_EQ(dialog.ComboSelection(kStepCombo), 2);  // 16 / 4 = 4 microsteps
    dialog.SelectComboItem(kStepCombo, 4);
    for (const auto& f : fields) {
        EXPECT_EQ(dialog.Text(f.id), f.shown) << f.id;
        dialog.Type(f.id, f.typed);
    }
    dialog.Click(kOkButton);
    ASSERT_EQ(MessageCount(), 1);
    EXPECT_EQ(Messages()[0].caption, FocuserSettingsTemplate().caption);
    EXPECT_EQ(dialog.FocusedControl(), kFocusShiftEdit);
    EXPECT_EQ(Sent("FWwriteEE"), 0);
    EXPECT_EQ(device_->settings.AscomMaxFocusPos, 45000);
    dialog.Type(kFocusShiftEdit, "500");
    for (const char* number : {"inf", "nan"}) {  // numbers to strtod, no step length
        dialog.Type(kStepLengthEdit, number);
        dialog.Click(kOkButton);
        EXPECT_EQ(dialog.FocusedControl(), kStepLengthEdit) << number;
    }
    dialog.Type(kStepLengthEdit, "0.123456789012345678");
    dialog.Click(kOkButton);
    EXPECT_EQ(MessageCount(), 3);
    EXPECT_EQ(dialog.Result(), kOkButton);
    EXPECT_DOUBLE_EQ(device_->settings.StepLenInMicrons, 0.123456789012345678);
    EXPECT_EQ(device_->settings.AscomMaxFocusPos, 1000);
    EXPECT_EQ(device_->settings.AscomFocusShift, 500);
    const sim::Image stored = emulator_->GetImage();
    EXPECT_EQ(stored[at::kFocuserStepMicrosteps], 1);
    for (const auto& f : fields) {
        if (f.bytes == 0) continue;
        EXPECT_EQ(f.bytes == 1   ? stored[f.offset]
                  : f.stored < 0 ? sim::ReadI16(stored, f.offset)
                                 : sim::ReadU16(stored, f.offset),
                  f.stored)
            << f.id;
    }
    emulator_->AddFault({sim::FaultKind::kWriteEENak, "FWwriteEE"});
    Focuser again(FocuserSettingsTemplate(), device_.get(), desktop_);
    again.window.Type(kBacklashEdit, "77");
    again.window.Click(kOkButton);
    ASSERT_EQ(MessageCount(), 4);
    EXPECT_EQ(LastMessage(),
              "Контроллер не принял настройки фокусера.\n\nthe controller did not accept the "
              "configuration");
    EXPECT_EQ(device_->config.focuserBacklash, 33);
}

// With the port closed there is no step list; without a table read at connection there is no
// microstep button; the button reads the table again before the table dialog opens, so unsent
// edits in the device's copy give way to the controller's table.
TEST_F(SettingsDialogsTest, FocuserSettingsOfferOnlyWhatTheControllerAnswered) {
    Start();
    EXPECT_TRUE(Focuser(FocuserSettingsTemplate(), device_.get(), desktop_)
                    .window.ComboItems(focuser_ids::kStepCombo)
                    .empty());
    emulator_->AddFault({sim::FaultKind::kDrop, "FWzm"});
    Connect();
    EXPECT_FALSE(Focuser(FocuserSettingsTemplate(), device_.get(), desktop_)
                     .window.Enabled(focuser_ids::kMicrostepsButton));
    emulator_->ClearFaults();
    W().Click(Id::Disconnect);
    Connect();
    Focuser dialog(FocuserSettingsTemplate(), device_.get(), desktop_);
    device_->microstepTable[1] = 99;
    int opened = 0;
    dialog.window.onModal = [&](FakeControls& table) {
        opened += table.Text(microstep_ids::kTableEdit).empty() ? 0 : 1;
    };
    dialog.window.Click(focuser_ids::kMicrostepsButton);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(device_->microstepTable[1], emulator_->MicrostepTable()[1]);
}

using Table = std::vector<int>;
using namespace microstep_ids;

class MicrostepTableDialogTest : public DialogRig {
protected:
    void SetUp() override {
        Start();
        emulator_->SetMicrostepTable({0, 60, 120, 200, 255, 210, 130, 70});  // not symmetric
        Connect();
        dialog = std::make_unique<MicrostepTableDialog>(device_.get());
        window = std::make_unique<FakeControls>(MicrostepTableTemplate(), desktop_);
        window->Open(*dialog);
    }
    Table Device() const { return {device_->microstepTable, device_->microstepTable + 8}; }
    Table Controller() const {
        const auto t = emulator_->MicrostepTable();
        return {t.begin(), t.end()};
    }
    std::string TableText() const { return window->Text(kTableEdit); }

    std::unique_ptr<MicrostepTableDialog> dialog;
    std::unique_ptr<FakeControls> window;
};

// Opening shows the first half of the table and makes the device's copy symmetric; each button
// runs its own curve through the exponent shown ("1.0" at first); the arrows set a whole
// exponent and bend the same curve again, until the table is typed; Inverse follows its box.
TEST_F(MicrostepTableDialogTest, ButtonsAndTheExponentShapeTheTable) {
    EXPECT_EQ(TableText(), "0 60 120 200 255 ");
    EXPECT_EQ(Device(), (Table{0, 60, 120, 200, 255, 200, 120, 60}));
    EXPECT_EQ(Controller(), (Table{0, 60, 120, 200, 255, 210, 130, 70}));
    window->Click(kSin);
    EXPECT_EQ(Device(), (Table{0, 103, 185, 237, 255, 237, 185, 103}));
    window->Arrow(kPowSpin, false);
    EXPECT_EQ(window->Text(kPowEdit), "-1");
    window->Arrow(kPowSpin, true);
    const Table sine{0, 97, 180, 236, 255, 236, 180, 97};
    EXPECT_EQ(Device(), sine);
    EXPECT_EQ(TableText(), "0 97 180 236 255 ");
    window->Click(kTan);
    EXPECT_EQ(Device(), (Table{0, 105, 255, 255, 255, 255, 255, 105}));
    window->Click(kSinSin3);  // flatter top than the sine
    const Table flat = Device();
    EXPECT_EQ(flat[4], 255);
    EXPECT_GT(flat[1], sine[1]);
    EXPECT_LT(flat[2], 255);
    EXPECT_EQ(flat[7], flat[1]);

    window->Type(kTableEdit, "0 50 100");
    const Table typed{0, 50, 100, flat[3], 255, flat[3], 100, 50};
    EXPECT_EQ(Device(), typed);
    window->Arrow(kPowSpin, true);
    window->Arrow(kPowSpin, true);
    EXPECT_EQ(Device(), typed);
    window->Click(kSin);  // the exponent now reads 2
    EXPECT_GT(Device()[1], 103);

    window->Type(kPowEdit, "0");
    window->Click(kInverse);
    const Table inverted{255, 158, 75, 19, 0, 19, 75, 158};
    EXPECT_EQ(Device(), inverted);
    window->Click(kInverse);
    EXPECT_EQ(Device(), sine);
    window->Click(kInverse);  // with the box checked, a button gives the inverted table directly
    window->Click(kSin);
    EXPECT_EQ(Device(), inverted);
}

// "Apply" (and Enter, also in the table's text) sends the table unless a number in it is no
// number, tells a refusal, and keeps the dialog open; "Exit" sends nothing and leaves the
// edits in the device's copy. The figures are drawn below the text field.
TEST_F(MicrostepTableDialogTest, ApplySendsAndStaysOpenExitDoesNot) {
    window->Type(kTableEdit, "0 97 18o 236 255");  // the letter o in place of a zero
    window->Click(kOkButton);
    ASSERT_EQ(MessageCount(), 1);
    EXPECT_NE(LastMessage().find("«18o»"), std::string::npos);
    EXPECT_EQ(Sent("FWym"), 0);
    window->Type(kTableEdit, " 0  97\n180 +236 255 ");  // any spacing, a sign: numbers all
    window->Focus(kTableEdit);
    EXPECT_TRUE(window->Press({Key::Enter}));
    EXPECT_FALSE(window->Result());
    const Table sent{0, 97, 180, 236, 255, 236, 180, 97};
    EXPECT_EQ(Controller(), sent);
    dialog->OnPaint();
    ASSERT_TRUE(window->drawn);
    EXPECT_EQ(window->drawn->levelCurve.size(), 9u);
    EXPECT_GE(window->drawn->band.top, window->ControlRect(kTableEdit).bottom);
    emulator_->AddFault({sim::FaultKind::kDrop, "FWym"});
    window->Click(kOkButton);
    ASSERT_EQ(MessageCount(), 2);
    EXPECT_EQ(LastMessage(),
              "Контроллер не принял таблицу микрошагов.\n\nthe controller did not accept the "
              "microstep table");

    window->Click(kTan);
    window->Click(kCancelButton);
    EXPECT_EQ(window->Result(), kCancelButton);
    EXPECT_EQ(Controller(), sent);
    EXPECT_EQ(Device()[2], 255);
}

// The settings dialogs run with the main dialog's refresh paused, and the dialog is refreshed
// afterwards.
TEST_F(SettingsDialogsTest, SettingsDialogsPauseTheRefreshAndRefreshTheDialogAfterwards) {
    StartConnected();
    for (int button : {Id::WheelSettings, Id::FocuserSettings}) {
        SCOPED_TRACE(button);
        bool seen = false, refreshDuringDialog = true;
        W().onModal = [&](FakeControls& settings) {
            seen = true;
            refreshDuringDialog = dialog_->RefreshEnabled();
            if (button == Id::WheelSettings) {
                settings.Arrow(wheel_ids::kFilterCountSpin, true);
                settings.Arrow(wheel_ids::kFilterCountSpin, true);
                settings.Click(kOkButton);
            } else {
                settings.Click(kCancelButton);
            }
        };
        W().ClearList(Id::FilterList);  // filled again afterwards, with the wheel's new count
        W().Click(button);
        EXPECT_TRUE(seen);
        EXPECT_FALSE(refreshDuringDialog);
        EXPECT_TRUE(dialog_->RefreshEnabled());
        EXPECT_EQ(Rows(), 7);
    }
    EXPECT_EQ(Sent("FWwriteEE"), 1);
}

// Saving asks for a settings file and tells a failure; loading sends the file's image back,
// refreshes the dialog but keeps the port chosen here; a cancelled prompt does nothing; a load
// the controller refuses says why under "Load failed" and still refreshes the dialog.
TEST_F(SettingsDialogsTest, SettingsFilesAreSavedAndLoadedThroughThePrompts) {
    StartConnected();
    std::string& answer = desktop_.fileAnswer.emplace(dir_.File("night.fws"));
    W().Click(Id::Save);
    ASSERT_EQ(desktop_.fileRequests.size(), 1u);
    const auto& [choice, type] = desktop_.fileRequests[0];
    EXPECT_EQ(choice, FileChoice::Save);
    EXPECT_EQ(type.description + type.pattern + type.defaultSuffix,
              "Settings File (*.fws)*.fws"
              "fws");
    EXPECT_TRUE(Messages().empty());
    EXPECT_TRUE(dialog_->RefreshEnabled());
    std::ofstream(dir_.File("plain")) << "x";
    answer = dir_.File("plain") + "/night.fws";  // below a file
    W().Click(Id::Save);
    ASSERT_EQ(MessageCount(), 1);
    // The reason under the message tells the user what to change.
    EXPECT_EQ(LastMessage(), "Save failed\n\n" + answer + ":\nNot a directory");
    EXPECT_EQ(Messages()[0].caption, "Save Failed");
    EXPECT_EQ(Messages()[0].style, MessageStyle::Warning);

    desktop_.messages.clear();
    desktop_.fileAnswer.reset();
    W().ClearList(Id::FilterList);
    W().Click(Id::Load);
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Sent("FWwriteEE"), 0);
    sim::Image changed = emulator_->GetImage();  // the controller's filters change after the save
    sim::SetFilterName(changed, 0, "Other");
    emulator_->SetImage(changed);
    device_->settings.ComPort = 4;
    desktop_.fileAnswer = dir_.File("night.fws");
    W().Click(Id::Load);
    EXPECT_EQ(desktop_.fileRequests.back().first, FileChoice::Open);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(sim::FilterName(emulator_->GetImage(), 0), "L");
    EXPECT_EQ(Rows(), 5);
    EXPECT_EQ(W().ComboSelection(Id::PortCombo), 1);
    EXPECT_TRUE(dialog_->RefreshEnabled());

    emulator_->AddFault({sim::FaultKind::kWriteEENak, "FWwriteEE"});
    W().ClearList(Id::FilterList);
    W().Click(Id::Load);
    ASSERT_EQ(MessageCount(), 1);
    EXPECT_EQ(LastMessage(), "Load failed\n\nthe controller did not accept the configuration");
    EXPECT_EQ(Messages()[0].caption, "Load Failed");
    EXPECT_EQ(Messages()[0].style, MessageStyle::Plain);
    EXPECT_EQ(Rows(), 5);
    EXPECT_TRUE(dialog_->RefreshEnabled());
}

}  // namespace
}  // namespace kavri::ui::test
