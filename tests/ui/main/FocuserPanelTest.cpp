// The focuser panel: the arrows beside the position and the minimum step, "Go!" and "Set",
// the compensation boxes, and what the once-a-second refresh reads, shows and skips.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "MainDialogRig.h"
#include "sim/ImageLayout.h"
#include "ui/common/UpDownControl.h"

namespace kavri::ui::test {
namespace {

namespace Id = ControlIds;

class FocuserPanelTest : public MainDialogRig {
protected:
    void StartConnected(sim::EmulatorOptions options = {}) {
        Start(options);
        Connect();
    }
    UpDownControl* Spin(int id) const { return FindControlAs<UpDownControl>(*dialog_, id); }
    QCheckBox* AutoBox(int k) const { return FindControlAs<QCheckBox>(*dialog_, Id::AutoBox0 + k); }
    QString Temperature(int k) const { return Edit(Id::Temperature0 + k)->text(); }
    QString Direction() const { return FindControlAs<QLabel>(*dialog_, Id::Direction)->text(); }
    void Press(int id) { QTest::mouseClick(Control(id), Qt::LeftButton); }
    void Type(int id, const QString& text) { Edit(id)->setText(text); }
};

TEST_F(FocuserPanelTest, MinimumStepArrowsClampToOneTwoHundred) {
    StartConnected();
    device_->MinMotorStep = 1;
    for (int i = 0; i < 3; ++i) Spin(Id::MinStepSpin)->Click(true);
    EXPECT_EQ(device_->MinMotorStep, 4);
    EXPECT_EQ(Edit(Id::MinStep)->text(), "4");
    device_->MinMotorStep = 200;
    Spin(Id::MinStepSpin)->Click(true);
    EXPECT_EQ(device_->MinMotorStep, 200);
    device_->MinMotorStep = 1;
    Spin(Id::MinStepSpin)->Click(false);
    EXPECT_EQ(device_->MinMotorStep, 1);
    QTest::keyClick(Edit(Id::MinStep), Qt::Key_Up);  // the arrow keys reach the arrows
    EXPECT_EQ(device_->MinMotorStep, 2);
}

TEST_F(FocuserPanelTest, MinimumStepIsTakenAsTypedUntilTheArrowsClampIt) {
    StartConnected();
    Type(Id::MinStep, "500");
    EXPECT_EQ(device_->MinMotorStep, 500);
    Spin(Id::MinStepSpin)->Click(true);
    EXPECT_EQ(device_->MinMotorStep, 200);
    Type(Id::MinStep, "-");
    EXPECT_EQ(device_->MinMotorStep, 0);
    Type(Id::MinStep, "abc");
    EXPECT_EQ(device_->MinMotorStep, 0);
    // A step of 0: the arrows send the focuser to where it is.
    emulator_->SetFocuserPosition(700);
    device_->focuserPosition = 700;
    Spin(Id::FocuserSpin)->Click(true);
    EXPECT_EQ(emulator_->FocuserPosition(), 700);
    EXPECT_EQ(Sent("FWgoFocus"), 1);
}

TEST_F(FocuserPanelTest, PositionArrowsMoveByTheMinimumStep) {
    StartConnected();
    emulator_->SetFocuserPosition(1000);
    device_->focuserPosition = 1000;
    device_->MinMotorStep = 10;
    Spin(Id::FocuserSpin)->Click(true);
    EXPECT_EQ(emulator_->FocuserPosition(), 1010);
    EXPECT_EQ(Edit(Id::PositionDisplay)->text(), "1010");
    Spin(Id::FocuserSpin)->Click(false);
    Spin(Id::FocuserSpin)->Click(false);
    EXPECT_EQ(emulator_->FocuserPosition(), 990);
    EXPECT_EQ(Edit(Id::PositionDisplay)->text(), "990");
}

TEST_F(FocuserPanelTest, PositionArrowsNeverLeaveTheControllersRange) {
    StartConnected();
    emulator_->SetFocuserPosition(32760);
    device_->focuserPosition = 32760;
    device_->MinMotorStep = 10;
    Spin(Id::FocuserSpin)->Click(true);
    EXPECT_EQ(Sent("FWgoFocus"), 0);
    EXPECT_EQ(emulator_->FocuserPosition(), 32760);
    EXPECT_EQ(warnings_.size(), 1);
    Spin(Id::FocuserSpin)->Click(false);
    EXPECT_EQ(emulator_->FocuserPosition(), 32750);
}

TEST_F(FocuserPanelTest, GoMovesToTheTypedPosition) {
    StartConnected();
    Type(Id::TargetPosition, "1234");
    Press(Id::Go);
    EXPECT_EQ(emulator_->FocuserPosition(), 1234);
    EXPECT_EQ(device_->focuserPosition, 1234);
    Type(Id::TargetPosition, " -32768 ");
    Press(Id::Go);
    EXPECT_EQ(emulator_->FocuserPosition(), -32768);
    EXPECT_TRUE(warnings_.isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Neither button sends anything for a value the controller cannot hold (it would arrive cut
// to another position) or for text that is no number (it would read as 0).
TEST_F(FocuserPanelTest, GoAndSetRefuseWhatIsNoPosition) {
    StartConnected();
    emulator_->SetFocuserPosition(300);
    const struct {
        const char* text;
        const char* told;  // what the message quotes
    } cases[] = {
        {"40000", "40000"}, {"-32769", "-32769"}, {"1500q", "1500q"},
        {"", "Введите"},    {"12 34", "12 34"},   {"-", "-"},
    };
    int shown = 0;
    for (const auto& c : cases) {
        for (int button : {Id::Go, Id::Set}) {
            SCOPED_TRACE(std::string(c.text) + (button == Id::Go ? " Go!" : " Set"));
            Type(Id::TargetPosition, QString::fromUtf8(c.text));
            Press(button);
            EXPECT_EQ(Sent("FWgoFocus") + Sent("FWsetFocus"), 0);
            ASSERT_EQ(warnings_.size(), ++shown);
            EXPECT_TRUE(warnings_.back().contains(QString::fromUtf8(c.told)));
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        }
    }
    EXPECT_EQ(emulator_->FocuserPosition(), 300);
}

TEST_F(FocuserPanelTest, SetRedefinesThePositionWithoutAMove) {
    StartConnected();
    emulator_->SetFocuserPosition(1500);
    Type(Id::TargetPosition, "500");
    Press(Id::Set);
    EXPECT_EQ(emulator_->FocuserPosition(), 500);
    EXPECT_EQ(Sent("FWgoFocus"), 0);
    dialog_->OnTimer();
    EXPECT_EQ(Edit(Id::PositionDisplay)->text(), "500");
}

TEST_F(FocuserPanelTest, TickShowsTemperaturesOfTheAttachedThermometersOnly) {
    StartConnected();  // the emulator reports two thermometers
    emulator_->SetTemperature(0, -1225);
    emulator_->SetTemperature(1, 350);
    const int before = Sent("FWtemperature");
    dialog_->OnTimer();
    EXPECT_EQ(Sent("FWtemperature") - before, 2);
    EXPECT_EQ(Temperature(0), "-12.25");
    EXPECT_EQ(Temperature(1), "3.50");
    EXPECT_TRUE(AutoBox(0)->isEnabled());
    EXPECT_TRUE(AutoBox(1)->isEnabled());
    EXPECT_EQ(Temperature(2), "");
    EXPECT_FALSE(AutoBox(2)->isEnabled());
    EXPECT_FALSE(AutoBox(3)->isEnabled());

    emulator_->SetTemperature(1, -32768);  // no reading
    dialog_->OnTimer();
    EXPECT_EQ(Temperature(1), "");
    EXPECT_FALSE(AutoBox(1)->isEnabled());
    dialog_->UpdateData(false);  // every data exchange disables the boxes again
    EXPECT_FALSE(AutoBox(0)->isEnabled());
}

TEST_F(FocuserPanelTest, TickReadsAtMostFourThermometers) {
    sim::EmulatorOptions options;
    options.thermometers = 6;
    StartConnected(options);
    const int before = Sent("FWtemperature");
    dialog_->OnTimer();
    EXPECT_EQ(Sent("FWtemperature") - before, 4);
    for (int k = 0; k < 4; ++k) EXPECT_FALSE(Temperature(k).isEmpty()) << k;
}

TEST_F(FocuserPanelTest, TickShowsPositionDirectionAndTheWheelsFilter) {
    StartConnected();
    EXPECT_EQ(Direction(), "^");
    emulator_->SetFocuserPosition(2500);
    emulator_->SetDirection(-1);
    emulator_->SetCurrentFilter(2);
    dialog_->OnTimer();
    EXPECT_EQ(Edit(Id::PositionDisplay)->text(), "2500");
    EXPECT_EQ(Direction(), "D");
    EXPECT_EQ(List()->RowImage(2), 1);
    EXPECT_EQ(List()->RowImage(0), 0);
    EXPECT_EQ(dialog_->HighlightedFilter(), 2);
    EXPECT_TRUE(List()->isEnabled());
    emulator_->SetDirection(1);
    dialog_->OnTimer();
    EXPECT_EQ(Direction(), "U");
}

TEST_F(FocuserPanelTest, TickShowsFailuresPlainly) {
    StartConnected();
    emulator_->AddFault({sim::FaultKind::kSilent, "FWfocus", 1});
    emulator_->AddFault({sim::FaultKind::kSilent, "FWdirFocus", 1});
    emulator_->AddFault({sim::FaultKind::kSilent, "FWFILTER", 1});
    dialog_->OnTimer();
    EXPECT_EQ(Edit(Id::PositionDisplay)->text(), "???");
    EXPECT_EQ(Direction(), " ");
    EXPECT_FALSE(List()->isEnabled());  // until the wheel answers again
    dialog_->OnTimer();
    EXPECT_TRUE(List()->isEnabled());
    EXPECT_NE(Edit(Id::PositionDisplay)->text(), "???");
}

TEST_F(FocuserPanelTest, TickLeavesTheDeviceAloneWhenItMust) {
    StartConnected();
    const auto commands = emulator_->CommandsReceived();
    dialog_->SetRefreshEnabled(false);
    dialog_->OnTimer();
    dialog_->SetRefreshEnabled(true);
    device_->busy = true;
    dialog_->OnTimer();
    device_->busy = false;
    EXPECT_EQ(emulator_->CommandsReceived(), commands);

    // An editor the user has left is still closed while the refresh is suspended.
    dialog_->SetRefreshEnabled(false);
    ASSERT_TRUE(dialog_->BeginCellEdit(CellCentre(1, 2)));
    Control(Id::PositionDisplay)->setFocus();
    dialog_->OnTimer();
    EXPECT_FALSE(dialog_->CellEditorOpen());

    dialog_->SetRefreshEnabled(true);
    dialog_->OnDisconnect();
    const auto afterDisconnect = emulator_->CommandsReceived();
    dialog_->OnTimer();
    EXPECT_EQ(emulator_->CommandsReceived(), afterDisconnect);
}

TEST_F(FocuserPanelTest, CompensationBoxesToggleAndPreferTheClickedThermometer) {
    sim::EmulatorOptions options;
    options.thermometers = 4;
    StartConnected(options);
    emulator_->SetCompensationThermometer(1);
    device_->settings.AscomPreferredTermometer = 1;
    dialog_->OnTimer();
    EXPECT_EQ(dialog_->AutoIndex(), 1);
    EXPECT_EQ(AutoBox(1)->checkState(), Qt::Checked);
    EXPECT_EQ(AutoBox(0)->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(AutoBox(3)->checkState(), Qt::PartiallyChecked);

    Press(Id::AutoBox0 + 1);  // switches compensation off
    EXPECT_EQ(emulator_->CompensationThermometer(), -1);
    EXPECT_EQ(AutoBox(1)->checkState(), Qt::Unchecked);
    EXPECT_EQ(AutoBox(2)->checkState(), Qt::PartiallyChecked);

    Press(Id::AutoBox0 + 2);
    EXPECT_EQ(device_->settings.AscomPreferredTermometer, 2);
    EXPECT_EQ(emulator_->CompensationThermometer(), 2);
    EXPECT_EQ(AutoBox(2)->checkState(), Qt::Checked);
    EXPECT_EQ(AutoBox(1)->checkState(), Qt::PartiallyChecked);

    Press(Id::AutoBox0 + 2);  // off again: box 2 clear, the preferred one
    Press(Id::AutoBox0 + 2);  // the clear box switches it on
    EXPECT_EQ(emulator_->CompensationThermometer(), 2);
    EXPECT_EQ(AutoBox(2)->checkState(), Qt::Checked);
    EXPECT_EQ(Sent("FWautoCompSet"), 4);
}

}  // namespace
}  // namespace kavri::ui::test
