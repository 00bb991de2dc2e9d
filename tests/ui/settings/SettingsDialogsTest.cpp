// The three settings dialogs against the emulated controller (5 filters, largest step divisor
// 16, an 8-entry microstep table): what they show, what OK or "Apply" writes, and that Cancel,
// a refused field or a refused write is handled as the user expects. Then the main dialog's
// settings commands: the dialogs opened from it, and settings files saved and loaded through
// the file prompts.
#include <QCheckBox>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QTimer>
#include <cstring>
#include <fstream>

#include "sim/ImageLayout.h"
#include "ui/common/UpDownControl.h"
#include "ui/dialogs/SettingsTemplates.h"
#include "ui/main/MainDialogRig.h"
#include "ui/settings/FocuserSettingsDialog.h"
#include "ui/settings/MicrostepTableDialog.h"
#include "ui/settings/WheelSettingsDialog.h"

namespace kavri::ui::test {
namespace {

namespace at = sim::offset;

class SettingsDialogsTest : public MainDialogRig {
protected:
    void StartWith(const sim::Image& image) {
        Start();
        emulator_->SetImage(image);
        Connect();
    }
    static QLineEdit* EditIn(const QWidget& dialog, int id) { return Find<QLineEdit>(dialog, id); }
    static void Retype(QWidget& dialog, int id, const QString& text) {
        EditIn(dialog, id)->selectAll();
        QTest::keyClicks(EditIn(dialog, id), text);
    }
};

// Cancel stores nothing. Every control shows its field of the image (the step mode 0 shows as
// half step, stored as 1); an empty field is refused and keeps the dialog open; OK stores every
// field, the arrows stopping at 10 filters and 1000 steps/s, then probes, so the table follows
// the new count, saves the settings and keeps the main dialog's connection. A write the
// controller refuses is told, and the probe brings the device's copy back to the controller's.
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
        WheelSettingsDialog cancelled(device_.get());
        Find<QCheckBox>(cancelled, kMotorOff)->click();
        Find<UpDownControl>(cancelled, kFilterCountSpin)->Click(false);
        Press(cancelled, kCancelButton);
        EXPECT_EQ(cancelled.result(), QDialog::Rejected);
    }
    EXPECT_EQ(std::memcmp(&config, &device_->config, sizeof config), 0);
    EXPECT_EQ(store_.FlushCount(), flushes);

    WheelSettingsDialog dialog(device_.get());
    dialog.show();
    EXPECT_TRUE(Find<QCheckBox>(dialog, kHalfStep)->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(dialog, kMotorOff)->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(dialog, kHomeSensor)->isChecked());
    EXPECT_EQ(Find<QComboBox>(dialog, kPowerOutputCombo)->currentIndex(), 1);
    EXPECT_EQ(EditIn(dialog, kSpeedEdit)->text(), "250");
    EXPECT_EQ(EditIn(dialog, kFilterCountEdit)->text(), "5");
    EXPECT_EQ(EditIn(dialog, kMaxStepsEdit)->text(), "1234");
    Find<QCheckBox>(dialog, kMotorOff)->click();
    Find<QCheckBox>(dialog, kHomeSensor)->click();
    Find<QComboBox>(dialog, kPowerOutputCombo)->setCurrentIndex(2);
    for (int i = 0; i < 6; ++i) Find<UpDownControl>(dialog, kFilterCountSpin)->Click(true);
    EditIn(dialog, kSpeedEdit)->setText("999");
    for (int i = 0; i < 2; ++i) Find<UpDownControl>(dialog, kSpeedSpin)->Click(true);
    EditIn(dialog, kMaxStepsEdit)->clear();
    Press(dialog, kOkButton);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].icon, MessageIcon::Warning);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(emulator_->GetImage(), image);
    QTest::keyClicks(EditIn(dialog, kMaxStepsEdit), "700");
    Press(dialog, kOkButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(messages_.size(), 1u);
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
    WheelSettingsDialog refused(device_.get());
    Find<QCheckBox>(refused, kHomeSensor)->click();
    Press(refused, kOkButton);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[1].text, QStringLiteral("Контроллер не принял настройки колеса."));
    EXPECT_EQ(device_->config.filterSensorSeesHome, 1);
}

// Each edit shows its field of the image (the idle power one below the stored byte) or of the
// driver settings, and OK writes what was typed back; the step list comes from the controller
// and selects the stored step. A field that does not read takes over nothing; a write the
// controller refuses is told, and the device's copy keeps the edits.
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
    FocuserSettingsDialog dialog(device_.get());
    dialog.show();
    auto* steps = Find<QComboBox>(dialog, kStepCombo);
    ASSERT_EQ(steps->count(), 5);
    EXPECT_EQ(steps->itemText(4), "1/16");
    EXPECT_EQ(steps->currentIndex(), 2);  // 16 / 4 = 4 microsteps
    steps->setCurrentIndex(4);
    for (const auto& f : fields) {
        EXPECT_EQ(EditIn(dialog, f.id)->text(), f.shown) << f.id;
        Retype(dialog, f.id, f.typed);
    }
    Press(dialog, kOkButton);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(dialog.focusWidget(), EditIn(dialog, kFocusShiftEdit));
    EXPECT_EQ(Sent("FWwriteEE"), 0);
    EXPECT_EQ(device_->settings.AscomMaxFocusPos, 45000);
    Retype(dialog, kFocusShiftEdit, "500");
    Press(dialog, kOkButton);
    EXPECT_EQ(messages_.size(), 1u);
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
    FocuserSettingsDialog again(device_.get());
    Retype(again, kBacklashEdit, "77");
    Press(again, kOkButton);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[1].text, QStringLiteral("Контроллер не принял настройки фокусера."));
    EXPECT_EQ(device_->config.focuserBacklash, 77);
}

// With the port closed there is no step list; without a table read at connection there is no
// microstep button; the button reads the table again before the table dialog opens, so unsent
// edits in the device's copy give way to the controller's table.
TEST_F(SettingsDialogsTest, FocuserSettingsOfferOnlyWhatTheControllerAnswered) {
    Start();
    EXPECT_EQ(
        Find<QComboBox>(FocuserSettingsDialog(device_.get()), focuser_ids::kStepCombo)->count(), 0);
    emulator_->AddFault({sim::FaultKind::kDrop, "FWzm"});
    Connect();
    EXPECT_FALSE(
        Find(FocuserSettingsDialog(device_.get()), focuser_ids::kMicrostepsButton)->isEnabled());
    emulator_->ClearFaults();
    dialog_->OnDisconnect();
    Connect();
    FocuserSettingsDialog dialog(device_.get());
    device_->microstepTable[1] = 99;
    bool opened = false;
    QTimer::singleShot(0, [&] {
        auto* table = qobject_cast<MicrostepTableDialog*>(QApplication::activeModalWidget());
        opened = table != nullptr;
        if (table != nullptr) table->reject();
    });
    Press(dialog, focuser_ids::kMicrostepsButton);
    EXPECT_TRUE(opened);
    EXPECT_EQ(device_->microstepTable[1], emulator_->MicrostepTable()[1]);
}

using Table = std::vector<int>;
using namespace microstep_ids;

class MicrostepTableDialogTest : public MainDialogRig {
protected:
    void SetUp() override {
        Start();
        emulator_->SetMicrostepTable({0, 60, 120, 200, 255, 210, 130, 70});  // not symmetric
        Connect();
        dialog = std::make_unique<MicrostepTableDialog>(device_.get());
    }
    Table Device() const { return {device_->microstepTable, device_->microstepTable + 8}; }
    Table Controller() const {
        const auto t = emulator_->MicrostepTable();
        return {t.begin(), t.end()};
    }
    QPlainTextEdit* Text() const { return Find<QPlainTextEdit>(*dialog, kTableEdit); }
    QLineEdit* Pow() const { return Find<QLineEdit>(*dialog, kPowEdit); }

    std::unique_ptr<MicrostepTableDialog> dialog;
};

// Opening shows the first half of the table and makes the device's copy symmetric; each button
// runs its own curve through the exponent shown ("1.0" at first); the arrows set a whole
// exponent and bend the same curve again, until the table is typed; Inverse follows its box.
TEST_F(MicrostepTableDialogTest, ButtonsAndTheExponentShapeTheTable) {
    EXPECT_EQ(Text()->toPlainText(), "0 60 120 200 255 ");
    EXPECT_EQ(Device(), (Table{0, 60, 120, 200, 255, 200, 120, 60}));
    EXPECT_EQ(Controller(), (Table{0, 60, 120, 200, 255, 210, 130, 70}));
    Press(*dialog, kSin);
    EXPECT_EQ(Device(), (Table{0, 103, 185, 237, 255, 237, 185, 103}));
    auto* pow = Find<UpDownControl>(*dialog, kPowSpin);
    pow->Click(false);
    EXPECT_EQ(Pow()->text(), "-1");
    pow->Click(true);
    const Table sine{0, 97, 180, 236, 255, 236, 180, 97};
    EXPECT_EQ(Device(), sine);
    EXPECT_EQ(Text()->toPlainText(), "0 97 180 236 255 ");
    Press(*dialog, kTan);
    EXPECT_EQ(Device(), (Table{0, 105, 255, 255, 255, 255, 255, 105}));
    Press(*dialog, kSinSin3);  // flatter top than the sine
    const Table flat = Device();
    EXPECT_EQ(flat[4], 255);
    EXPECT_GT(flat[1], sine[1]);
    EXPECT_LT(flat[2], 255);
    EXPECT_EQ(flat[7], flat[1]);

    Text()->selectAll();
    QTest::keyClicks(Text(), "0 50 100");
    const Table typed{0, 50, 100, flat[3], 255, flat[3], 100, 50};
    EXPECT_EQ(Device(), typed);
    pow->Click(true);
    pow->Click(true);
    EXPECT_EQ(Device(), typed);
    Press(*dialog, kSin);  // the exponent now reads 2
    EXPECT_GT(Device()[1], 103);

    Pow()->setText("0");
    auto* inverse = Find<QCheckBox>(*dialog, kInverse);
    inverse->click();
    const Table inverted{255, 158, 75, 19, 0, 19, 75, 158};
    EXPECT_EQ(Device(), inverted);
    inverse->click();
    EXPECT_EQ(Device(), sine);
    inverse->click();  // with the box checked, a button gives the inverted table directly
    Press(*dialog, kSin);
    EXPECT_EQ(Device(), inverted);
}

// "Apply" sends the table unless a number in it is no number, tells a refusal, and keeps the
// dialog open; "Exit" sends nothing and leaves the edits in the device's copy.
TEST_F(MicrostepTableDialogTest, ApplySendsAndStaysOpenExitDoesNot) {
    dialog->show();
    Text()->setPlainText("0 97 18o 236 255");  // the letter o in place of a zero
    Press(*dialog, kOkButton);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_TRUE(messages_[0].text.contains("18o"));
    EXPECT_EQ(Sent("FWym"), 0);
    Text()->setPlainText(" 0  97\n180 +236 255 ");  // any spacing, a sign: numbers all
    Press(*dialog, kOkButton);
    EXPECT_TRUE(dialog->isVisible());
    const Table sent{0, 97, 180, 236, 255, 236, 180, 97};
    EXPECT_EQ(Controller(), sent);
    // The level curve is drawn in a band that stays high enough to read whatever the font.
    const MicrostepFigures figures = dialog->Figures();
    EXPECT_GE(figures.band.bottom - figures.band.top, 60);
    const CurvePoint top = figures.levelCurve[4];
    EXPECT_EQ(dialog->grab().toImage().pixelColor(top.x, top.y), QColor(Qt::black));
    emulator_->AddFault({sim::FaultKind::kDrop, "FWym"});
    Press(*dialog, kOkButton);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[1].text, QStringLiteral("Контроллер не принял таблицу микрошагов."));

    Press(*dialog, kTan);
    Press(*dialog, kCancelButton);
    EXPECT_FALSE(dialog->isVisible());
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
        QTimer::singleShot(0, [&] {
            auto* settings = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (settings == nullptr) return;
            seen = true;
            refreshDuringDialog = dialog_->RefreshEnabled();
            if (auto* wheel = qobject_cast<WheelSettingsDialog*>(settings)) {
                auto* spin = FindControlAs<UpDownControl>(*wheel, wheel_ids::kFilterCountSpin);
                spin->Click(true);
                spin->Click(true);
                wheel->OnOK();
            } else {
                settings->reject();  // the focuser settings: cancelled
            }
        });
        List()->clear();  // filled again afterwards, with the wheel's new count
        Press(*dialog_, button);
        EXPECT_TRUE(seen);
        EXPECT_FALSE(refreshDuringDialog);
        EXPECT_TRUE(dialog_->RefreshEnabled());
        EXPECT_EQ(List()->RowCount(), 7);
    }
    EXPECT_EQ(Sent("FWwriteEE"), 1);
}

// Saving asks for a settings file and tells a failure; loading sends the file's image back,
// refreshes the dialog but keeps the port chosen here; a cancelled prompt does nothing; a load
// the controller refuses says why under "Load failed" and still refreshes the dialog.
TEST_F(SettingsDialogsTest, SettingsFilesAreSavedAndLoadedThroughThePrompts) {
    StartConnected();
    answer_ = QString::fromStdString(dir_.File("night.fws"));
    dialog_->OnSave();
    ASSERT_EQ(fileRequests_.size(), 1u);
    EXPECT_EQ(fileRequests_[0].mode, FileDialogMode::Save);
    EXPECT_EQ(fileRequests_[0].filter, "Settings File (*.fws)");
    EXPECT_EQ(fileRequests_[0].defaultSuffix, "fws");
    EXPECT_EQ(fileRequests_[0].parent, dialog_.get());
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(dialog_->RefreshEnabled());
    std::ofstream(dir_.File("plain")) << "x";
    answer_ = QString::fromStdString(dir_.File("plain") + "/night.fws");  // below a file
    dialog_->OnSave();
    ASSERT_EQ(messages_.size(), 1u);
    // The reason under the message tells the user what to change.
    EXPECT_EQ(messages_[0].text, "Save failed\n\n" + answer_ + ":\nNot a directory");
    EXPECT_EQ(messages_[0].caption, "Save Failed");

    messages_.clear();
    answer_.clear();
    List()->clear();
    dialog_->OnLoad();
    EXPECT_EQ(List()->RowCount(), 0);
    EXPECT_EQ(Sent("FWwriteEE"), 0);
    sim::Image changed = emulator_->GetImage();  // the controller's filters change after the save
    sim::SetFilterName(changed, 0, "Other");
    emulator_->SetImage(changed);
    device_->settings.ComPort = 4;
    answer_ = QString::fromStdString(dir_.File("night.fws"));
    dialog_->OnLoad();
    EXPECT_EQ(fileRequests_.back().mode, FileDialogMode::Open);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(sim::FilterName(emulator_->GetImage(), 0), "L");
    EXPECT_EQ(List()->RowCount(), 5);
    EXPECT_EQ(PortCombo()->currentIndex(), 1);
    EXPECT_TRUE(dialog_->RefreshEnabled());

    emulator_->AddFault({sim::FaultKind::kWriteEENak, "FWwriteEE"});
    List()->clear();
    dialog_->OnLoad();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text,
              "Load failed\n\nthe controller did not accept the configuration image");
    EXPECT_EQ(messages_[0].caption, "Load Failed");
    EXPECT_EQ(messages_[0].icon, MessageIcon::None);
    EXPECT_EQ(List()->RowCount(), 5);
    EXPECT_TRUE(dialog_->RefreshEnabled());
}

// The real file dialog, answered by choosing a name typed without extension.
TEST(SettingsFilePromptTest, ANameWithoutExtensionGetsFws) {
    kavri::test::TempDir dir;
    QTimer::singleShot(0, [&] {
        auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(files, nullptr);
        EXPECT_EQ(files->nameFilters(), QStringList{"Settings File (*.fws)"});
        files->setDirectory(QString::fromStdString(dir.Path()));
        files->selectFile(QStringLiteral("night"));
        static_cast<QDialog*>(files)->accept();  // public there
    });
    const QString path = AskFileName(
        {nullptr, FileDialogMode::Save, QStringLiteral("Settings File (*.fws)"), "fws"});
    EXPECT_EQ(path, QString::fromStdString(dir.File("night.fws")));
}

}  // namespace
}  // namespace kavri::ui::test
