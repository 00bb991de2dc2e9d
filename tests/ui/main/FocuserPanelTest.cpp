// The focuser panel: the arrows beside the position and the minimum step, "Go!" and "Set",
// the compensation boxes, and what the once-a-second refresh reads, shows and skips.
#include <QCheckBox>
#include <QLabel>

#include "MainDialogRig.h"
#include "ui/common/UpDownControl.h"

namespace kavri::ui::test {
namespace {

class FocuserPanelTest : public MainDialogRig {
protected:
    void StartConnected(sim::EmulatorOptions options = {}) {
        Start(options);
        Connect();
    }
    UpDownControl* Spin(int id) const { return Find<UpDownControl>(*dialog_, id); }
    QCheckBox* AutoBox(int k) const { return Find<QCheckBox>(*dialog_, Id::AutoBox0 + k); }
    QString Temperature(int k) const { return Edit(Id::Temperature0 + k)->text(); }
    QString Direction() const { return Find<QLabel>(*dialog_, Id::Direction)->text(); }
    void MoveFocuserTo(int position) {
        emulator_->SetFocuserPosition(position);
        device_->focuserPosition = position;
    }
};

// Typed steps are taken as they are (what is no number gives 0); the arrows clamp to 1 ... 200.
TEST_F(FocuserPanelTest, MinimumStepFollowsTypingAndItsArrows) {
    StartConnected();
    const struct {
        const char* typed;  // nullptr: nothing typed
        int clicks;         // up (+) or down (-)
        int step;
    } cases[] = {{"1", 3, 4}, {"500", 0, 500}, {nullptr, 1, 200}, {"1", -1, 1},
                 {"-", 0, 0}, {"abc", 0, 0},   {"-5", 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed != nullptr ? c.typed : "arrows");
        if (c.typed != nullptr) Edit(Id::MinStep)->setText(c.typed);
        for (int i = 0; i < std::abs(c.clicks); ++i) Spin(Id::MinStepSpin)->Click(c.clicks > 0);
        EXPECT_EQ(device_->MinMotorStep, c.step);
        if (c.clicks != 0) {
            EXPECT_EQ(Edit(Id::MinStep)->text(), QString::number(c.step));
        }
    }
    // A step of 0: the arrows send the focuser to where it is.
    MoveFocuserTo(700);
    Spin(Id::FocuserSpin)->Click(true);
    EXPECT_EQ(emulator_->FocuserPosition(), 700);
    EXPECT_EQ(Sent("FWgoFocus"), 1);
    Edit(Id::MinStep)->setText("1");
    QTest::keyClick(Edit(Id::MinStep), Qt::Key_Up);  // the arrow keys reach the arrows
    EXPECT_EQ(device_->MinMotorStep, 2);
}

TEST_F(FocuserPanelTest, PositionArrowsAndKeysMoveByTheMinimumStepWithinRange) {
    StartConnected();
    MoveFocuserTo(1000);
    device_->MinMotorStep = 10;
    Spin(Id::FocuserSpin)->Click(true);
    EXPECT_EQ(emulator_->FocuserPosition(), 1010);
    EXPECT_EQ(Edit(Id::PositionDisplay)->text(), "1010");
    Spin(Id::FocuserSpin)->Click(false);
    Spin(Id::FocuserSpin)->Click(false);
    EXPECT_EQ(emulator_->FocuserPosition(), 990);
    EXPECT_EQ(Edit(Id::PositionDisplay)->text(), "990");
    QTest::keyClick(Control(Id::PositionDisplay), Qt::Key_Up);
    EXPECT_EQ(emulator_->FocuserPosition(), 1000);
    QTest::keyClick(Control(Id::PositionDisplay), Qt::Key_Down);
    EXPECT_EQ(emulator_->FocuserPosition(), 990);

    MoveFocuserTo(32760);  // a step past the controller's range is not sent
    const int moves = Sent("FWgoFocus");
    Spin(Id::FocuserSpin)->Click(true);
    EXPECT_EQ(Sent("FWgoFocus"), moves);
    EXPECT_EQ(warnings_.size(), 1);
    Spin(Id::FocuserSpin)->Click(false);
    EXPECT_EQ(emulator_->FocuserPosition(), 32750);
}

TEST_F(FocuserPanelTest, GoMovesAndSetRedefinesThePosition) {
    StartConnected();
    for (const char* typed : {"1234", " -32768 ", "32767"}) {
        Edit(Id::TargetPosition)->setText(typed);
        Press(*dialog_, Id::Go);
        EXPECT_EQ(emulator_->FocuserPosition(), QString(typed).toInt()) << typed;
        EXPECT_EQ(device_->focuserPosition, QString(typed).toInt()) << typed;
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    const int moves = Sent("FWgoFocus");
    Edit(Id::TargetPosition)->setText("500");
    Press(*dialog_, Id::Set);
    EXPECT_EQ(emulator_->FocuserPosition(), 500);
    EXPECT_EQ(Sent("FWgoFocus"), moves);
    dialog_->OnTimer();
    EXPECT_EQ(Edit(Id::PositionDisplay)->text(), "500");
    EXPECT_TRUE(warnings_.isEmpty());
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
        {"40000", "40000"}, {"-32769", "-32769"}, {"65536", "65536"}, {"1500q", "1500q"},
        {"", "Введите"},    {"12 34", "12 34"},   {"-", "-"},
    };
    int shown = 0;
    for (const auto& c : cases) {
        for (int button : {Id::Go, Id::Set}) {
            SCOPED_TRACE(std::string(c.text) + (button == Id::Go ? " Go!" : " Set"));
            Edit(Id::TargetPosition)->setText(QString::fromUtf8(c.text));
            Press(*dialog_, button);
            EXPECT_EQ(Sent("FWgoFocus") + Sent("FWsetFocus"), 0);
            ASSERT_EQ(warnings_.size(), ++shown);
            EXPECT_TRUE(warnings_.back().contains(QString::fromUtf8(c.told)));
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        }
    }
    EXPECT_EQ(emulator_->FocuserPosition(), 300);
}

// The tick reads the thermometers the controller has, at most four, and enables their boxes.
TEST_F(FocuserPanelTest, TickShowsTheTemperaturesOfUpToFourThermometers) {
    for (int count : {2, 6}) {
        SCOPED_TRACE(count);
        sim::EmulatorOptions options;
        options.thermometers = count;
        StartConnected(options);
        emulator_->SetTemperature(0, -1225);
        emulator_->SetTemperature(1, 350);
        const int before = Sent("FWtemperature");
        dialog_->OnTimer();
        EXPECT_EQ(Sent("FWtemperature") - before, std::min(count, 4));
        EXPECT_EQ(Temperature(0), "-12.25");
        EXPECT_EQ(Temperature(1), "3.50");
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(AutoBox(k)->isEnabled(), k < count) << k;
            EXPECT_EQ(Temperature(k).isEmpty(), k >= count) << k;
        }
    }
    emulator_->SetTemperature(1, -32768);  // no reading
    dialog_->OnTimer();
    EXPECT_EQ(Temperature(1), "");
    EXPECT_FALSE(AutoBox(1)->isEnabled());
    dialog_->UpdateData(false);  // every data exchange disables the boxes again
    EXPECT_FALSE(AutoBox(0)->isEnabled());
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

    // Unanswered reads show plainly, and the list waits for the wheel to answer again.
    emulator_->AddFault({sim::FaultKind::kSilent, "FWfocus", 1});
    emulator_->AddFault({sim::FaultKind::kSilent, "FWdirFocus", 1});
    emulator_->AddFault({sim::FaultKind::kSilent, "FWFILTER", 1});
    dialog_->OnTimer();
    EXPECT_EQ(Edit(Id::PositionDisplay)->text(), "???");
    EXPECT_EQ(Direction(), " ");
    EXPECT_FALSE(List()->isEnabled());
    dialog_->OnTimer();
    EXPECT_TRUE(List()->isEnabled());
    EXPECT_EQ(Edit(Id::PositionDisplay)->text(), "2500");
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

// A click toggles compensation on its thermometer, which becomes the preferred one: checked
// is running, clear is the preferred one at rest, the rest are grey.
TEST_F(FocuserPanelTest, CompensationBoxesToggleAndPreferTheClickedThermometer) {
    sim::EmulatorOptions options;
    options.thermometers = 4;
    StartConnected(options);
    emulator_->SetCompensationThermometer(1);
    device_->settings.AscomPreferredTermometer = 1;
    dialog_->OnTimer();
    EXPECT_EQ(dialog_->AutoIndex(), 1);
    const struct {
        int click;  // -1: none
        int running;
        const char* states;  // C checked, U unchecked, P grey; box 0 first
    } steps[] = {{-1, 1, "PCPP"}, {1, -1, "PUPP"}, {2, 2, "PPCP"}, {2, -1, "PPUP"}, {2, 2, "PPCP"}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.click);
        if (s.click >= 0) Press(*dialog_, Id::AutoBox0 + s.click);
        EXPECT_EQ(emulator_->CompensationThermometer(), s.running);
        for (int k = 0; k < 4; ++k) {
            const Qt::CheckState want = s.states[k] == 'C'   ? Qt::Checked
                                        : s.states[k] == 'U' ? Qt::Unchecked
                                                             : Qt::PartiallyChecked;
            EXPECT_EQ(AutoBox(k)->checkState(), want) << k;
        }
    }
    EXPECT_EQ(device_->settings.AscomPreferredTermometer, 2);
    EXPECT_EQ(Sent("FWautoCompSet"), 4);
}

}  // namespace
}  // namespace kavri::ui::test
