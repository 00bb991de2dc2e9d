// SPDX-License-Identifier: GPL-3.0-or-later
// The main dialog's behaviour: connecting and disconnecting under its enabling rules, a line
// that hangs up, the port kept for the next start, the thermometer names, the keyboard rules,
// the focuser panel (arrows, "Go!" and "Set", compensation boxes, what the once-a-second
// refresh reads, shows and skips).
#include "DialogRig.h"
#include "device/Cp1251.h"

namespace kavri::ui::test {
namespace {

class MainDialogTest : public DialogRig {
protected:
    // Every enabling rule of the dialog for one state of the connection.
    void ExpectEnabling(bool connected, bool focuser, bool wheel) const {
        for (int id : {Id::Connect, Id::PortCombo}) EXPECT_EQ(Enabled(id), !connected) << id;
        for (int id : {Id::Disconnect, Id::Save, Id::Load}) EXPECT_EQ(Enabled(id), connected) << id;
        for (int id : {Id::MinStep, Id::MinStepSpin, Id::FocuserSpin, Id::Go, Id::TargetPosition,
                       Id::Set, Id::FocuserSettings})
            EXPECT_EQ(Enabled(id), focuser) << id;
        EXPECT_EQ(Enabled(Id::WheelSettings), wheel);
        for (int id : {int{Id::Exit}, Id::ThermometerName0 + 0, Id::ThermometerName0 + 3})
            EXPECT_TRUE(Enabled(id)) << id;
        for (int k = 0; k < 4; ++k) EXPECT_FALSE(Enabled(Id::AutoBox0 + k)) << k;
    }
    bool Consumed(Key key, bool ctrl = false, int digit = -1) {
        return W().Press({key, digit, ctrl});
    }
    std::string Temperature(int k) const { return Text(Id::Temperature0 + k); }
    std::string Position() const { return Text(Id::PositionDisplay); }
    CheckState Box(int k) const { return W().Check(Id::AutoBox0 + k); }
};

TEST_F(MainDialogTest, EnablingFollowsTheControllerAndDisconnectClearsIt) {
    for (int kind = 0; kind < 3; ++kind) {
        const bool wheel = kind != 2, focuser = kind != 1;
        SCOPED_TRACE(testing::Message() << "wheel " << wheel << ", focuser " << focuser);
        sim::EmulatorOptions options;
        options.wheelOnly = !focuser;
        options.focuserOnly = !wheel;
        Start(options);
        ExpectEnabling(false, false, false);
        EXPECT_EQ(Text(Id::MinStep), "1");
        Connect();
        ExpectEnabling(true, focuser, wheel);
        EXPECT_EQ(Rows(), wheel ? 5 : 0);
        EXPECT_EQ(W().FocusedControl(), Id::PositionDisplay);
        EXPECT_EQ(W().WaitCursorDepth(), 0);
        W().Click(Id::Disconnect);
        ExpectEnabling(false, false, false);
        EXPECT_EQ(Rows(), 0);
    }
    W().SelectComboItem(Id::PortCombo, 2);  // COM2: no device, and the dialog stays as it was
    W().Click(Id::Connect);
    EXPECT_EQ(device_->settings.ComPort, 2);
    EXPECT_TRUE(device_->Clients().empty());
    EXPECT_EQ(W().WaitCursorDepth(), 0);
    ExpectEnabling(false, false, false);
    W().SelectComboItem(Id::PortCombo, 1);
    Connect();
    dialog_->OnCommand(kAcceptCommand);  // the accept path leaves the clients too
    EXPECT_EQ(device_->port, nullptr);
    EXPECT_EQ(W().Result(), kAcceptCommand);
}

// The line hung up (adapter unplugged): the next tick disconnects and says so once, and the
// user can connect again.
TEST_F(MainDialogTest, HungUpLineDisconnectsAtTheNextTickAndTellsOnce) {
    Start();
    for (bool closed : {false, true}) {
        SCOPED_TRACE(closed ? "pseudo-terminal closed" : "hang-up in a reply");
        Connect();
        const int shown = MessageCount();
        if (closed) emulator_->Stop();
        if (!closed) emulator_->AddFault({sim::FaultKind::kHangUp, "FWfocus"});
        Tick();
        ExpectEnabling(false, false, false);
        EXPECT_EQ(Rows(), 0);
        Tick();
        Tick();
        ASSERT_EQ(MessageCount(), shown + 1);
        EXPECT_TRUE(
            LastMessage().ends_with("Подключитесь снова, когда контроллер вернётся.\n\n"
                                    "the line was hung up"));
        EXPECT_EQ(Messages().back().style, MessageStyle::Warning);
        StartEmulator();  // plugged in again
    }
    Connect();
    Tick();
    EXPECT_TRUE(Enabled(Id::Disconnect));
    EXPECT_EQ(MessageCount(), 2);
}

// The port chosen is kept (and left as stored when the list cannot show it) when the dialog
// is left, the connection closed; a warning given at the start is shown once as it opens.
TEST_F(MainDialogTest, ClosingKeepsThePortChosenAndTheStartWarningIsShownOnce) {
    StartConnected();
    W().SelectComboItem(Id::PortCombo, 3);  // disabled while connected, but set
    W().Press({Key::Escape});
    EXPECT_EQ(W().Result(), kCancelCommand);
    EXPECT_EQ(device_->port, nullptr);
    EXPECT_EQ(device_->settings.ComPort, 3);
    EXPECT_TRUE(Messages().empty());
    for (int port : {3, 16}) {  // 16: searchable, but beyond the list's COM15
        device_->settings.ComPort = port;
        ControlDialog next(*device_, "saved for this user only");
        FakeControls window(ControlDialogTemplate(), desktop_);
        window.Open(next);
        EXPECT_EQ(window.ComboSelection(Id::PortCombo), port == 3 ? 3 : -1);
        window.Click(Id::Exit);
        EXPECT_EQ(device_->settings.ComPort, port);
    }
    ASSERT_EQ(MessageCount(), 2);
    EXPECT_EQ(Messages()[0].text, "saved for this user only");
    EXPECT_EQ(Messages()[0].caption, "Settings");
}

// Thermometer names are windows-1251 bytes in the device, as .fws files and the settings store
// hand them over; a typed name the name rule refuses is refused and the stored one shown again.
TEST_F(MainDialogTest, ThermometerNamesTravelBothWaysInWindows1251) {
    Start();
    const int mirror = Id::ThermometerName0, odd = Id::ThermometerName0 + 1;
    const std::string oddBytes("\x98\xFF\x01 x", 5);  // no text a user types
    const std::string oddText = Cp1251ToUtf8(oddBytes);
    device_->TermometerName[0] = "\xC7\xE5\xF0\xEA\xE0\xEB\xEE";  // "Зеркало"
    device_->TermometerName[1] = oddBytes;
    dialog_->UpdateData(false);
    EXPECT_EQ(Text(mirror), "Зеркало");
    dialog_->UpdateData(true);  // shown, not edited: the bytes stay as they were
    EXPECT_EQ(device_->TermometerName[1], oddBytes);

    W().Type(mirror, "Воздух");
    W().Type(odd, "\u2603");  // a snowman has no windows-1251 form
    Connect();                // connecting takes the typed names over
    EXPECT_EQ(device_->TermometerName[0], "\xC2\xEE\xE7\xE4\xF3\xF5");
    EXPECT_EQ(device_->TermometerName[1], oddBytes);
    EXPECT_EQ(Text(odd), oddText);
    ASSERT_EQ(MessageCount(), 1);
    EXPECT_NE(LastMessage().find("\u2603"), std::string::npos);
    W().Focus(odd);  // typed and left: refused as the field is left
    W().Type(odd, "\u2603");
    W().Focus(Id::PositionDisplay);
    EXPECT_EQ(MessageCount(), 2);
    EXPECT_EQ(Text(odd), oddText);
}

// Enter connects while disconnected and is dropped otherwise, pressing no button; digits and
// Left/Right choose filters from the position box, or with Ctrl from anywhere.
TEST_F(MainDialogTest, KeysConnectAndChooseFilters) {
    Start();
    W().Focus(Id::PositionDisplay);
    EXPECT_FALSE(Consumed(Key::Digit, false, 0));  // no filter table yet: no key selects
    EXPECT_FALSE(Consumed(Key::Left, true));
    W().Focus(Id::ThermometerName0);
    EXPECT_TRUE(Consumed(Key::Enter));  // from a text field, too
    ASSERT_NE(device_->port, nullptr);
    const auto commands = emulator_->CommandsReceived();
    for (int focus : {int{Id::PositionDisplay}, int{Id::Disconnect}}) {
        W().Focus(focus);
        EXPECT_TRUE(Consumed(Key::Enter));
    }
    EXPECT_NE(device_->port, nullptr);
    EXPECT_EQ(emulator_->CommandsReceived(), commands);

    const int box = Id::PositionDisplay, name = Id::ThermometerName0 + 1;
    const struct {
        int focus;
        Key key;
        int digit;
        bool ctrl;
        int filter;  // where the wheel is afterwards; -1: the key passes on
    } keys[] = {
        // clang-format off
        {box, Key::Digit, 3, false, 3}, {box, Key::Digit, 0, false, 0},
        {name, Key::Left, -1, true, 4}, {name, Key::Right, -1, true, 0},
        {box, Key::Right, -1, false, 1}, {name, Key::Digit, 4, true, 4},
        {name, Key::Digit, 5, true, -1}, {name, Key::Right, -1, false, -1},
        {box, Key::Other, -1, false, -1}, {name, Key::Digit, 2, false, -1},
        // clang-format on
    };
    int at = 0;  // five filters, the wheel at 0
    for (const auto& k : keys) {
        SCOPED_TRACE(testing::Message()
                     << "key " << static_cast<int>(k.key) << k.digit << " in " << k.focus);
        const int gotos = Sent("FWGOTO");
        W().Focus(k.focus);
        EXPECT_EQ(W().Press({k.key, k.digit, k.ctrl}), k.filter >= 0);
        at = k.filter >= 0 ? k.filter : at;
        EXPECT_EQ(emulator_->CurrentFilter(), at);
        EXPECT_EQ(device_->currentFilter, at);
        EXPECT_EQ(Sent("FWGOTO"), gotos + (k.filter >= 0 ? 1 : 0));
    }
    EXPECT_EQ(Text(name).back(), '2');
    device_->currentFilter = -1;  // unknown: the arrows pass, digits still choose
    EXPECT_FALSE(Consumed(Key::Left, true));
    EXPECT_FALSE(Consumed(Key::Right, true));
    EXPECT_TRUE(Consumed(Key::Digit, true, 1));
    EXPECT_EQ(emulator_->CurrentFilter(), 1);
}

// A typed minimum step is taken as it is (what is no number gives 0); its arrows clamp it to
// 1 ... 200. The position's arrows and Up/Down move the focuser by it, never out of range.
TEST_F(MainDialogTest, ArrowsMoveTheFocuserByTheMinimumStep) {
    StartConnected();
    const struct {
        const char* typed;  // nullptr: nothing typed
        int clicks;         // up (+) or down (-)
        int step;
    } cases[] = {{"1", 3, 4}, {"500", 0, 500}, {nullptr, 1, 200}, {"1", -1, 1},
                 {"-", 0, 0}, {"abc", 0, 0},   {"-5", 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed != nullptr ? c.typed : "arrows");
        if (c.typed != nullptr) W().Type(Id::MinStep, c.typed);
        for (int i = 0; i < std::abs(c.clicks); ++i) W().Arrow(Id::MinStepSpin, c.clicks > 0);
        EXPECT_EQ(device_->MinMotorStep, c.step);
        EXPECT_EQ(Text(Id::MinStep),
                  c.typed != nullptr && c.clicks == 0 ? c.typed : std::to_string(c.step));
    }
    emulator_->SetFocuserPosition(700);
    device_->focuserPosition = 700;
    device_->MinMotorStep = 10;
    W().Focus(Id::PositionDisplay);
    for (bool key : {false, true}) {
        for (bool up : {true, false}) {
            if (key) W().Press({up ? Key::Up : Key::Down});
            if (!key) W().Arrow(Id::FocuserSpin, up);
            EXPECT_EQ(emulator_->FocuserPosition(), up ? 710 : 700) << key;
            EXPECT_EQ(Position(), up ? "710" : "700") << key;
        }
    }
    emulator_->SetFocuserPosition(32760);
    device_->focuserPosition = 32760;
    const int moved = Sent("FWgoFocus");
    W().Arrow(Id::FocuserSpin, true);  // past the controller's range: not sent
    EXPECT_EQ(Sent("FWgoFocus"), moved);
    EXPECT_EQ(MessageCount(), 1);
    W().Arrow(Id::FocuserSpin, false);
    EXPECT_EQ(emulator_->FocuserPosition(), 32750);
}

// "Go!" moves to the typed position, "Set" redefines it without a move. Neither sends anything
// for a value the controller cannot hold (it would arrive cut to another position) or for
// text that is no number (it would read as 0); the user is told what was refused.
TEST_F(MainDialogTest, GoMovesSetRedefinesAndBothRefuseWhatIsNoPosition) {
    StartConnected();
    for (const char* typed : {"1234", " -32768 ", "32767"}) {
        W().Type(Id::TargetPosition, typed);
        W().Click(Id::Go);
        EXPECT_EQ(emulator_->FocuserPosition(), std::stoi(typed)) << typed;
        EXPECT_EQ(device_->focuserPosition, std::stoi(typed)) << typed;
    }
    EXPECT_EQ(W().WaitCursorDepth(), 0);
    const int moves = Sent("FWgoFocus");
    W().Type(Id::TargetPosition, "500");
    W().Click(Id::Set);
    EXPECT_EQ(emulator_->FocuserPosition(), 500);
    EXPECT_EQ(Sent("FWgoFocus"), moves);
    Tick();
    EXPECT_EQ(Position(), "500");
    EXPECT_TRUE(Messages().empty());

    const int sets = Sent("FWsetFocus");
    for (const char* text : {"40000", "-32769", "65536", "1500q", "", "12 34", "-"}) {
        for (int button : {Id::Go, Id::Set}) {
            SCOPED_TRACE(std::string(text) + (button == Id::Go ? " Go!" : " Set"));
            const int shown = MessageCount();
            W().Type(Id::TargetPosition, text);
            W().Click(button);
            EXPECT_EQ(Sent("FWgoFocus") + Sent("FWsetFocus"), moves + sets);
            ASSERT_EQ(MessageCount(), shown + 1);
            EXPECT_NE(LastMessage().find(*text != '\0' ? text : "Введите"), std::string::npos);
            EXPECT_EQ(W().WaitCursorDepth(), 0);
        }
    }
    EXPECT_EQ(emulator_->FocuserPosition(), 500);
}

// The tick reads the thermometers the controller has, at most four, and enables their boxes
// while they answer (every data exchange disables them again); it shows position, direction and
// the wheel's filter. Unanswered reads show plainly, and the list waits for the wheel to answer.
TEST_F(MainDialogTest, TickShowsTemperaturesPositionDirectionAndTheWheelsFilter) {
    for (int count : {2, 6}) {
        SCOPED_TRACE(count);
        sim::EmulatorOptions options;
        options.thermometers = count;
        StartConnected(options);
        EXPECT_EQ(Text(Id::Direction), "^");  // not read yet
        emulator_->SetTemperature(0, -1225);
        emulator_->SetTemperature(1, 350);
        const int before = Sent("FWtemperature");
        Tick();
        EXPECT_EQ(Sent("FWtemperature") - before, std::min(count, 4));
        EXPECT_EQ(Temperature(0), "-12.25");
        EXPECT_EQ(Temperature(1), "3.50");
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(Enabled(Id::AutoBox0 + k), k < count) << k;
            EXPECT_EQ(Temperature(k).empty(), k >= count) << k;
        }
    }
    emulator_->SetTemperature(1, -32768);  // no reading
    emulator_->SetFocuserPosition(2500);
    emulator_->SetCurrentFilter(2);
    for (int direction : {-1, 1}) {
        emulator_->SetDirection(direction);
        Tick();
        EXPECT_EQ(Text(Id::Direction), direction > 0 ? "U" : "D");
    }
    EXPECT_EQ(Temperature(1), "");
    EXPECT_FALSE(Enabled(Id::AutoBox0 + 1));
    EXPECT_EQ(Position(), "2500");
    EXPECT_EQ(dialog_->HighlightedFilter(), 2);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(W().RowImage(Id::FilterList, i), i == 2 ? 1 : 0) << i;
    EXPECT_TRUE(Enabled(Id::FilterList));
    dialog_->UpdateData(false);
    EXPECT_FALSE(Enabled(Id::AutoBox0));

    for (const char* keyword : {"FWfocus", "FWdirFocus", "FWFILTER"})
        emulator_->AddFault({sim::FaultKind::kSilent, keyword, 1});
    Tick();
    EXPECT_EQ(Position(), "???");
    EXPECT_EQ(Text(Id::Direction), " ");
    EXPECT_FALSE(Enabled(Id::FilterList));
    Tick();
    EXPECT_TRUE(Enabled(Id::FilterList));
    EXPECT_EQ(Position(), "2500");
}

// Suspended (a dialog opened from this one is up), busy or disconnected, the tick sends
// nothing; it still closes an editor the user has left.
TEST_F(MainDialogTest, TickLeavesTheDeviceAloneWhenItMust) {
    StartConnected();
    for (int state = 0; state < 3; ++state) {
        dialog_->SetRefreshEnabled(state != 0);
        device_->busy = state == 1;
        if (state == 2) W().Click(Id::Disconnect);
        EXPECT_EQ(dialog_->BeginCellEdit(CellCentre(1, 2)), state < 2);
        W().Focus(Id::PositionDisplay);
        const auto commands = emulator_->CommandsReceived();
        Tick();
        EXPECT_EQ(emulator_->CommandsReceived(), commands) << state;
        EXPECT_FALSE(W().CellEditorOpen()) << state;
    }
    device_->busy = false;
}

// A click toggles compensation on its thermometer, which becomes the preferred one: checked
// is running, clear is the preferred one at rest, the others are grey.
TEST_F(MainDialogTest, CompensationBoxesToggleAndPreferTheClickedThermometer) {
    sim::EmulatorOptions options;
    options.thermometers = 4;
    StartConnected(options);
    emulator_->SetCompensationThermometer(1);
    device_->settings.AscomPreferredTermometer = 1;
    Tick();
    EXPECT_EQ(dialog_->AutoIndex(), 1);
    const struct {
        int click;  // -1: none
        int running;
        const char* states;  // C checked, U unchecked, P grey; box 0 first
    } steps[] = {{-1, 1, "PCPP"}, {1, -1, "PUPP"}, {2, 2, "PPCP"}, {2, -1, "PPUP"}, {2, 2, "PPCP"}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.click);
        if (s.click >= 0) W().Click(Id::AutoBox0 + s.click);
        EXPECT_EQ(emulator_->CompensationThermometer(), s.running);
        for (int k = 0; k < 4; ++k) EXPECT_EQ("UCP"[static_cast<int>(Box(k))], s.states[k]) << k;
    }
    EXPECT_EQ(device_->settings.AscomPreferredTermometer, 2);
    EXPECT_EQ(Sent("FWautoCompSet"), 4);
}

}  // namespace
}  // namespace kavri::ui::test
