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
    QString Position() const { return Edit(Id::PositionDisplay)->text(); }
};

// A typed minimum step is taken as it is (what is no number gives 0); its arrows clamp it to
// 1 ... 200. The position's arrows and Up/Down move the focuser by it, never out of range.
TEST_F(FocuserPanelTest, ArrowsMoveTheFocuserByTheMinimumStep) {
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
        EXPECT_EQ(Edit(Id::MinStep)->text(),
                  c.typed != nullptr && c.clicks == 0 ? QString(c.typed) : QString::number(c.step));
    }
    emulator_->SetFocuserPosition(700);
    device_->focuserPosition = 700;
    device_->MinMotorStep = 10;
    const struct {
        bool up, key;
        int position;
    } moves[] = {{true, false, 710}, {false, false, 700}, {true, true, 710}, {false, true, 700}};
    for (const auto& m : moves) {
        if (m.key) QTest::keyClick(Control(Id::PositionDisplay), m.up ? Qt::Key_Up : Qt::Key_Down);
        if (!m.key) Spin(Id::FocuserSpin)->Click(m.up);
        EXPECT_EQ(emulator_->FocuserPosition(), m.position);
        EXPECT_EQ(Position(), QString::number(m.position));
    }
    emulator_->SetFocuserPosition(32760);
    device_->focuserPosition = 32760;
    const int moved = Sent("FWgoFocus");
    Spin(Id::FocuserSpin)->Click(true);  // past the controller's range: not sent
    EXPECT_EQ(Sent("FWgoFocus"), moved);
    EXPECT_EQ(warnings_.size(), 1);
    Spin(Id::FocuserSpin)->Click(false);
    EXPECT_EQ(emulator_->FocuserPosition(), 32750);
}

// "Go!" moves to the typed position, "Set" redefines it without a move. Neither sends anything
// for a value the controller cannot hold (it would arrive cut to another position) or for
// text that is no number (it would read as 0); the user is told what was refused.
TEST_F(FocuserPanelTest, GoMovesSetRedefinesAndBothRefuseWhatIsNoPosition) {
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
    EXPECT_EQ(Position(), "500");
    EXPECT_TRUE(warnings_.isEmpty());

    const int sets = Sent("FWsetFocus");
    for (const char* text : {"40000", "-32769", "65536", "1500q", "", "12 34", "-"}) {
        for (int button : {Id::Go, Id::Set}) {
            SCOPED_TRACE(std::string(text) + (button == Id::Go ? " Go!" : " Set"));
            const int shown = static_cast<int>(warnings_.size());
            Edit(Id::TargetPosition)->setText(text);
            Press(*dialog_, button);
            EXPECT_EQ(Sent("FWgoFocus") + Sent("FWsetFocus"), moves + sets);
            ASSERT_EQ(warnings_.size(), shown + 1);
            EXPECT_TRUE(warnings_.back().contains(*text != '\0' ? text : "Введите"));
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        }
    }
    EXPECT_EQ(emulator_->FocuserPosition(), 500);
}

// The tick reads the thermometers the controller has, at most four, and enables their boxes
// while they answer; every data exchange disables the boxes again.
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
    dialog_->UpdateData(false);
    EXPECT_FALSE(AutoBox(0)->isEnabled());
}

// The tick shows position, direction and the wheel's filter; unanswered reads show plainly,
// and the list waits for the wheel to answer again.
TEST_F(FocuserPanelTest, TickShowsPositionDirectionAndTheWheelsFilter) {
    StartConnected();
    EXPECT_EQ(Direction(), "^");
    emulator_->SetFocuserPosition(2500);
    emulator_->SetCurrentFilter(2);
    for (int direction : {-1, 1}) {
        emulator_->SetDirection(direction);
        dialog_->OnTimer();
        EXPECT_EQ(Direction(), direction > 0 ? "U" : "D");
    }
    EXPECT_EQ(Position(), "2500");
    EXPECT_EQ(dialog_->HighlightedFilter(), 2);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(List()->RowImage(i), i == 2 ? 1 : 0) << i;
    EXPECT_TRUE(List()->isEnabled());

    for (const char* keyword : {"FWfocus", "FWdirFocus", "FWFILTER"})
        emulator_->AddFault({sim::FaultKind::kSilent, keyword, 1});
    dialog_->OnTimer();
    EXPECT_EQ(Position(), "???");
    EXPECT_EQ(Direction(), " ");
    EXPECT_FALSE(List()->isEnabled());
    dialog_->OnTimer();
    EXPECT_TRUE(List()->isEnabled());
    EXPECT_EQ(Position(), "2500");
}

// Suspended (a dialog opened from this one is up), busy or disconnected, the tick sends
// nothing; it still closes an editor the user has left.
TEST_F(FocuserPanelTest, TickLeavesTheDeviceAloneWhenItMust) {
    StartConnected();
    for (int state = 0; state < 3; ++state) {
        dialog_->SetRefreshEnabled(state != 0);
        device_->busy = state == 1;
        if (state == 2) dialog_->OnDisconnect();
        EXPECT_EQ(dialog_->BeginCellEdit(CellCentre(1, 2)), state < 2);
        Control(Id::PositionDisplay)->setFocus();
        const auto commands = emulator_->CommandsReceived();
        dialog_->OnTimer();
        EXPECT_EQ(emulator_->CommandsReceived(), commands) << state;
        EXPECT_FALSE(dialog_->CellEditorOpen()) << state;
    }
    device_->busy = false;
}

// A click toggles compensation on its thermometer, which becomes the preferred one: checked
// is running, clear is the preferred one at rest, the others are grey.
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
        for (int k = 0; k < 4; ++k) EXPECT_EQ("UPC"[AutoBox(k)->checkState()], s.states[k]) << k;
    }
    EXPECT_EQ(device_->settings.AscomPreferredTermometer, 2);
    EXPECT_EQ(Sent("FWautoCompSet"), 4);
}

}  // namespace
}  // namespace kavri::ui::test
