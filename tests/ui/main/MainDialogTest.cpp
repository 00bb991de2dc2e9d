// The main dialog: connecting and disconnecting under its enabling rules, a line that hangs
// up, the program's run from start to exit, the thermometer names, the keyboard rules, the
// focuser panel (arrows, "Go!" and "Set", compensation boxes, what the once-a-second refresh
// reads, shows and skips), and the look of all four dialogs under the fallback font.
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>

#include "MainDialogRig.h"
#include "device/Cp1251.h"
#include "persist/RegistryFileStore.h"
#include "persist/RegistrySettings.h"
#include "ui/common/UpDownControl.h"
#include "ui/main/ControlApp.h"
#include "ui/settings/FocuserSettingsDialog.h"
#include "ui/settings/MicrostepTableDialog.h"
#include "ui/settings/SettingsTemplates.h"
#include "ui/settings/WheelSettingsDialog.h"

namespace kavri::ui::test {
namespace {

class MainDialogTest : public MainDialogRig {
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
    bool Consumed(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return dialog_->PreTranslateKey(QKeyEvent(QEvent::KeyPress, key, modifiers));
    }
    UpDownControl* Spin(int id) const { return Find<UpDownControl>(*dialog_, id); }
    QCheckBox* AutoBox(int k) const { return Find<QCheckBox>(*dialog_, Id::AutoBox0 + k); }
    QString Temperature(int k) const { return Edit(Id::Temperature0 + k)->text(); }
    QString Direction() const { return Find<QLabel>(*dialog_, Id::Direction)->text(); }
    QString Position() const { return Edit(Id::PositionDisplay)->text(); }
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
        EXPECT_EQ(Edit(Id::MinStep)->text(), "1");
        Connect();
        ExpectEnabling(true, focuser, wheel);
        EXPECT_EQ(List()->RowCount(), wheel ? 5 : 0);
        EXPECT_EQ(dialog_->focusWidget(), Control(Id::PositionDisplay));
        dialog_->OnDisconnect();
        ExpectEnabling(false, false, false);
        EXPECT_EQ(List()->RowCount(), 0);
    }
    PortCombo()->setCurrentIndex(2);  // COM2: no device, and the dialog stays as it was
    dialog_->OnConnect();
    EXPECT_EQ(device_->settings.ComPort, 2);
    EXPECT_TRUE(device_->Clients().empty());
    ExpectEnabling(false, false, false);
    PortCombo()->setCurrentIndex(1);
    Connect();
    dialog_->accept();  // the accept path leaves the clients too
    EXPECT_EQ(device_->port, nullptr);
}

// The line hung up (adapter unplugged): the next tick disconnects and says so once, and the
// user can connect again.
TEST_F(MainDialogTest, HungUpLineDisconnectsAtTheNextTickAndTellsOnce) {
    Start();
    for (bool closed : {false, true}) {
        SCOPED_TRACE(closed ? "pseudo-terminal closed" : "hang-up in a reply");
        Connect();
        const int shown = static_cast<int>(warnings_.size());
        if (closed) emulator_->Stop();
        if (!closed) emulator_->AddFault({sim::FaultKind::kHangUp, "FWfocus"});
        dialog_->OnTimer();
        ExpectEnabling(false, false, false);
        EXPECT_EQ(List()->RowCount(), 0);
        dialog_->OnTimer();
        dialog_->OnTimer();
        ASSERT_EQ(warnings_.size(), shown + 1);
        EXPECT_TRUE(warnings_.back().contains(QStringLiteral("Подключитесь снова")));
        StartEmulator();  // plugged in again
    }
    Connect();
    dialog_->OnTimer();
    EXPECT_TRUE(Enabled(Id::Disconnect));
    EXPECT_EQ(warnings_.size(), 2);
}

// The port chosen in the dialog survives into the next start through the settings store, and
// the connection is closed before the device goes. The program saves only what it changed
// itself: what another program stores while it runs stays through its saves (the wheel
// settings' OK, the exit).
TEST_F(MainDialogTest, ExitStoresWhatTheProgramChangedForTheNextStart) {
    Start();  // the emulator and the port map; this rig's own dialog is not used
    dialog_.reset();
    device_.reset();
    const std::string path = dir_.File("registry.reg");
    RegistryFileStore store(path);
    bool wasConnected = false, closedBeforeTheDeviceWent = false;
    ControlApp program(store);
    program.SetDialogHook([&](ControlDialog& dialog, WheelFocuserDevice& device) {
        QTimer::singleShot(0, &dialog, [&] {
            dialog.OnConnect();
            wasConnected = device.port != nullptr;
            RegistryFileStore other(path);  // another program saves
            other.SetValue(DriverKey, "MinMotorStep", SettingsValue::Dword(25));
            other.SetValue("Software\\Other", "Theirs", SettingsValue::Dword(8));
            EXPECT_TRUE(other.Flush());
            WheelSettingsDialog wheel(&device);
            wheel.show();
            Press(wheel, kOkButton);  // saves
            Find<QLineEdit>(dialog, Id::ThermometerName0)->setText(QStringLiteral("Main"));
            Find<QComboBox>(dialog, Id::PortCombo)->setCurrentIndex(3);  // disabled, but set
            Press(dialog, Id::Exit);                                     // saves again
            closedBeforeTheDeviceWent = device.port == nullptr;
        });
    });
    EXPECT_FALSE(program.InitInstance());
    EXPECT_TRUE(wasConnected);
    EXPECT_TRUE(closedBeforeTheDeviceWent);
    const std::string text = kavri::test::ReadFileText(path);
    for (const char* line : {"\"MinMotorStep\"=dword:00000019", "\"Theirs\"=dword:00000008",
                             "\"TermometerName0\"=\"Main\""}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << " in " << text;
    }
    WheelFocuserDevice next(store, timers_);
    EXPECT_EQ(Find<QComboBox>(ControlDialog(&next), Id::PortCombo)->currentIndex(), 3);
    next.settings.ComPort = 16;  // searchable, but beyond the list's COM15: kept as it is
    ControlDialog beyond(&next);
    EXPECT_EQ(Find<QComboBox>(beyond, Id::PortCombo)->currentIndex(), -1);
    beyond.reject();
    EXPECT_EQ(next.settings.ComPort, 16);
}

// Thermometer names are windows-1251 bytes in the device, as .fws files and the settings store
// hand them over; a typed name the name rule refuses is refused and the stored one shown again.
TEST_F(MainDialogTest, ThermometerNamesTravelBothWaysInWindows1251) {
    Start();
    QLineEdit* mirror = Edit(Id::ThermometerName0);
    QLineEdit* odd = Edit(Id::ThermometerName0 + 1);
    const std::string oddBytes("\x98\xFF\x01 x", 5);  // no text a user types
    const QString oddText = QString::fromStdString(Cp1251ToUtf8(oddBytes));
    device_->TermometerName[0] = "\xC7\xE5\xF0\xEA\xE0\xEB\xEE";  // "Зеркало"
    device_->TermometerName[1] = oddBytes;
    dialog_->UpdateData(false);
    EXPECT_EQ(mirror->text(), QStringLiteral("Зеркало"));
    dialog_->UpdateData(true);  // shown, not edited: the bytes stay as they were
    EXPECT_EQ(device_->TermometerName[1], oddBytes);

    mirror->setText(QStringLiteral("Воздух"));
    odd->setText(QStringLiteral("\u2603"));  // a snowman has no windows-1251 form
    Connect();                               // connecting takes the typed names over
    EXPECT_EQ(device_->TermometerName[0], "\xC2\xEE\xE7\xE4\xF3\xF5");
    EXPECT_EQ(device_->TermometerName[1], oddBytes);
    EXPECT_EQ(odd->text(), oddText);
    ASSERT_EQ(warnings_.size(), 1);
    EXPECT_TRUE(warnings_[0].contains(QStringLiteral("\u2603")));
    odd->setFocus();  // typed and left: refused as the field is left
    QTest::sendKeyEvent(QTest::Click, odd, Qt::Key_unknown, QStringLiteral("\u2603"), {});
    Edit(Id::PositionDisplay)->setFocus();
    EXPECT_EQ(warnings_.size(), 2);
    EXPECT_EQ(odd->text(), oddText);
}

// Enter connects while disconnected and is dropped otherwise, pressing no button; digits and
// Left/Right choose filters from the position box, or with Ctrl from anywhere; Escape cancels.
TEST_F(MainDialogTest, KeysConnectChooseFiltersAndCancel) {
    Start();
    Control(Id::PositionDisplay)->setFocus();
    EXPECT_FALSE(Consumed(Qt::Key_0));  // no filter table yet: no key selects
    EXPECT_FALSE(Consumed(Qt::Key_Left, Qt::ControlModifier));
    QTest::keyClick(Edit(Id::ThermometerName0), Qt::Key_Return);  // from a text field, too
    ASSERT_NE(device_->port, nullptr);
    const auto commands = emulator_->CommandsReceived();
    QTest::keyClick(Control(Id::PositionDisplay), Qt::Key_Enter);
    QTest::keyClick(Control(Id::Disconnect), Qt::Key_Return);
    EXPECT_NE(device_->port, nullptr);
    EXPECT_EQ(emulator_->CommandsReceived(), commands);

    const int box = Id::PositionDisplay, name = Id::ThermometerName0 + 1;
    const Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier;
    const struct {
        int focus, key;
        Qt::KeyboardModifiers modifiers;
        int filter;  // where the wheel is afterwards; -1: the key passes on
    } keys[] = {
        // clang-format off
        {box, Qt::Key_3, none, 3}, {box, Qt::Key_0, none, 0}, {name, Qt::Key_Left, ctrl, 4},
        {name, Qt::Key_Right, ctrl, 0}, {box, Qt::Key_Right, none, 1}, {name, Qt::Key_4, ctrl, 4},
        {name, Qt::Key_5, ctrl, -1}, {name, Qt::Key_Right, none, -1},
        {box, Qt::Key_2, Qt::KeypadModifier, -1}, {name, Qt::Key_2, none, -1},
        // clang-format on
    };
    int at = 0;  // five filters, the wheel at 0
    for (const auto& k : keys) {
        SCOPED_TRACE(testing::Message() << "key " << k.key << " in " << k.focus);
        const int gotos = Sent("FWGOTO");
        Control(k.focus)->setFocus();
        QTest::keyClick(Control(k.focus), static_cast<Qt::Key>(k.key), k.modifiers);
        at = k.filter >= 0 ? k.filter : at;
        EXPECT_EQ(emulator_->CurrentFilter(), at);
        EXPECT_EQ(device_->currentFilter, at);
        EXPECT_EQ(Sent("FWGOTO"), gotos + (k.filter >= 0 ? 1 : 0));
    }
    EXPECT_TRUE(Edit(name)->text().endsWith('2'));
    device_->currentFilter = -1;  // unknown: the arrows pass, digits still choose
    EXPECT_FALSE(Consumed(Qt::Key_Left, Qt::ControlModifier));
    EXPECT_FALSE(Consumed(Qt::Key_Right, Qt::ControlModifier));
    EXPECT_TRUE(Consumed(Qt::Key_1, Qt::ControlModifier));
    EXPECT_EQ(emulator_->CurrentFilter(), 1);

    PortCombo()->setCurrentIndex(0);
    QTest::keyClick(Edit(Id::ThermometerName0 + 2), Qt::Key_Escape);
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(device_->port, nullptr);
    EXPECT_EQ(device_->settings.ComPort, 0);
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
        if (c.typed != nullptr) Edit(Id::MinStep)->setText(c.typed);
        for (int i = 0; i < std::abs(c.clicks); ++i) Spin(Id::MinStepSpin)->Click(c.clicks > 0);
        EXPECT_EQ(device_->MinMotorStep, c.step);
        EXPECT_EQ(Edit(Id::MinStep)->text(),
                  c.typed != nullptr && c.clicks == 0 ? QString(c.typed) : QString::number(c.step));
    }
    emulator_->SetFocuserPosition(700);
    device_->focuserPosition = 700;
    device_->MinMotorStep = 10;
    for (bool key : {false, true}) {
        for (bool up : {true, false}) {
            if (key) QTest::keyClick(Control(Id::PositionDisplay), up ? Qt::Key_Up : Qt::Key_Down);
            if (!key) Spin(Id::FocuserSpin)->Click(up);
            EXPECT_EQ(emulator_->FocuserPosition(), up ? 710 : 700) << key;
            EXPECT_EQ(Position(), up ? "710" : "700") << key;
        }
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
TEST_F(MainDialogTest, GoMovesSetRedefinesAndBothRefuseWhatIsNoPosition) {
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
// while they answer (every data exchange disables them again); it shows position, direction and
// the wheel's filter. Unanswered reads show plainly, and the list waits for the wheel to answer.
TEST_F(MainDialogTest, TickShowsTemperaturesPositionDirectionAndTheWheelsFilter) {
    for (int count : {2, 6}) {
        SCOPED_TRACE(count);
        sim::EmulatorOptions options;
        options.thermometers = count;
        StartConnected(options);
        EXPECT_EQ(Direction(), "^");  // not read yet
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
    emulator_->SetFocuserPosition(2500);
    emulator_->SetCurrentFilter(2);
    for (int direction : {-1, 1}) {
        emulator_->SetDirection(direction);
        dialog_->OnTimer();
        EXPECT_EQ(Direction(), direction > 0 ? "U" : "D");
    }
    EXPECT_EQ(Temperature(1), "");
    EXPECT_FALSE(AutoBox(1)->isEnabled());
    EXPECT_EQ(Position(), "2500");
    EXPECT_EQ(dialog_->HighlightedFilter(), 2);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(List()->RowImage(i), i == 2 ? 1 : 0) << i;
    EXPECT_TRUE(List()->isEnabled());
    dialog_->UpdateData(false);
    EXPECT_FALSE(AutoBox(0)->isEnabled());

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
TEST_F(MainDialogTest, TickLeavesTheDeviceAloneWhenItMust) {
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
TEST_F(MainDialogTest, CompensationBoxesToggleAndPreferTheClickedThermometer) {
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

// The four dialogs as a user sees them when connected, under the font this machine has (the
// fallback when the templates' face is missing): every text fits its control and renders, no
// two controls overlap (frames excepted), and all lie inside the window.
void ExpectNothingClippedOrOverlapping(QDialog& dialog) {
    SCOPED_TRACE(dialog.windowTitle().toStdString());
    QList<QWidget*> controls;
    for (QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (qobject_cast<QGroupBox*>(w) == nullptr && w->isVisible()) controls << w;
    ASSERT_GT(controls.size(), 5);
    for (QWidget* w : controls) {
        const std::string name = w->objectName().toStdString();
        EXPECT_TRUE(dialog.rect().contains(w->geometry())) << name;
        QString text;
        int room = w->width();
        if (const auto* label = qobject_cast<QLabel*>(w)) {
            const QRect need = label->fontMetrics().boundingRect(
                label->contentsRect(),
                label->alignment() | (label->wordWrap() ? Qt::TextWordWrap : 0), label->text());
            EXPECT_LE(need.height(), label->contentsRect().height()) << name;
            EXPECT_LE(need.width(), label->contentsRect().width()) << name;
            for (QChar c : label->text()) EXPECT_TRUE(label->fontMetrics().inFont(c) || c == '\n');
        } else if (const auto* button = qobject_cast<QPushButton*>(w)) {
            text = button->text();
            room -= 6;  // its frame
        } else if (const auto* box = qobject_cast<QCheckBox*>(w)) {
            QStyleOptionButton option;
            option.initFrom(box);
            option.text = text = box->text();
            room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width();
        }
        EXPECT_LE(w->fontMetrics().horizontalAdvance(text), room) << name;
        for (QWidget* other : controls)
            EXPECT_TRUE(other == w || !w->geometry().intersects(other->geometry()))
                << name << " overlaps " << other->objectName().toStdString();
    }
}

TEST_F(MainDialogTest, NoDialogHasAnythingClippedOrOverlapping) {
    Start();
    emulator_->SetFocuserPosition(-12345);
    emulator_->SetTemperature(0, -1225);
    emulator_->SetCompensationThermometer(0);
    Connect();
    Edit(Id::ThermometerName0)->setText(QStringLiteral("Зеркало"));
    dialog_->OnTimer();  // the panel live: temperatures, position, direction, icons
    ASSERT_EQ(Edit(Id::PositionDisplay)->text(), "-12345");
    QApplication::processEvents();
    ExpectNothingClippedOrOverlapping(*dialog_);
    WheelSettingsDialog wheel(device_.get(), dialog_.get());
    FocuserSettingsDialog focuser(device_.get(), dialog_.get());
    MicrostepTableDialog microsteps(device_.get(), dialog_.get());
    for (QDialog* settings : std::initializer_list<QDialog*>{&wheel, &focuser, &microsteps}) {
        settings->show();
        QApplication::processEvents();
        ExpectNothingClippedOrOverlapping(*settings);
        settings->hide();
    }
}

}  // namespace
}  // namespace kavri::ui::test
