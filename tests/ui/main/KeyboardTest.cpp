// The main dialog's keyboard rules: Enter connects only while disconnected, digits and
// Ctrl+Left/Right choose filters from the position box or with Ctrl, and every other case
// passes on to the focused control.
#include <QKeyEvent>

#include "MainDialogRig.h"

namespace kavri::ui::test {
namespace {

namespace Id = ControlIds;

class KeyboardTest : public MainDialogRig {
protected:
    bool Consumed(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        return dialog_->PreTranslateKey(event);
    }
};

TEST_F(KeyboardTest, EnterConnectsOnlyWhileDisconnected) {
    Start();
    QLineEdit* name = Edit(Id::ThermometerName0);
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Return);  // from a text field, too
    ASSERT_NE(device_->port, nullptr);
    EXPECT_EQ(LogCount("= connect\r\n"), 1);

    const auto commands = emulator_->CommandsReceived();
    QTest::keyClick(Control(Id::PositionDisplay), Qt::Key_Enter);
    QTest::keyClick(Control(Id::Disconnect), Qt::Key_Return);  // presses no button either
    EXPECT_NE(device_->port, nullptr);
    EXPECT_EQ(emulator_->CommandsReceived(), commands);
    EXPECT_EQ(LogCount("= connect\r\n"), 1);
}

TEST_F(KeyboardTest, DigitsInThePositionBoxSelectFilters) {
    Start();
    Connect();
    QTest::keyClick(Control(Id::PositionDisplay), Qt::Key_3);
    EXPECT_EQ(emulator_->CurrentFilter(), 3);
    EXPECT_EQ(device_->currentFilter, 3);
    QTest::keyClick(Control(Id::PositionDisplay), Qt::Key_0);
    EXPECT_EQ(emulator_->CurrentFilter(), 0);
    EXPECT_EQ(Sent("FWGOTO"), 2);
}

TEST_F(KeyboardTest, CtrlDigitWorksAnywhereWithinTheTable) {
    Start();
    Connect();
    QLineEdit* name = Edit(Id::ThermometerName0 + 1);
    name->setFocus();
    QTest::keyClick(name, Qt::Key_4, Qt::ControlModifier);
    EXPECT_EQ(emulator_->CurrentFilter(), 4);
    // Five filters: Ctrl+5 ... Ctrl+9 are left to the focused control.
    for (int key = Qt::Key_5; key <= Qt::Key_9; ++key)
        EXPECT_FALSE(Consumed(key, Qt::ControlModifier)) << key - Qt::Key_0;
    EXPECT_EQ(Sent("FWGOTO"), 1);
}

TEST_F(KeyboardTest, DigitsElsewhereAndKeypadDigitsPassThrough) {
    Start();
    Connect();
    QLineEdit* name = Edit(Id::ThermometerName0);
    name->setFocus();
    name->clear();
    QTest::keyClick(name, Qt::Key_2);
    EXPECT_EQ(name->text(), "2");  // typed, not taken as a filter
    Control(Id::PositionDisplay)->setFocus();
    EXPECT_FALSE(Consumed(Qt::Key_2, Qt::KeypadModifier));
    EXPECT_EQ(Sent("FWGOTO"), 0);
}

TEST_F(KeyboardTest, CtrlArrowsStepRoundTheWheel) {
    Start();
    Connect();
    ASSERT_EQ(device_->currentFilter, 0);
    QLineEdit* name = Edit(Id::ThermometerName0);
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(emulator_->CurrentFilter(), 4);
    QTest::keyClick(name, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(emulator_->CurrentFilter(), 0);
    QTest::keyClick(Control(Id::PositionDisplay), Qt::Key_Right);  // focus elsewhere: passes
    EXPECT_EQ(emulator_->CurrentFilter(), 0);
    Control(Id::PositionDisplay)->setFocus();
    QTest::keyClick(Control(Id::PositionDisplay), Qt::Key_Right);  // no Ctrl needed there
    EXPECT_EQ(emulator_->CurrentFilter(), 1);
}

TEST_F(KeyboardTest, ArrowsPassWhileTheFilterIsUnknown) {
    sim::EmulatorOptions options;
    Start(options);
    emulator_->SetCurrentFilter(-1);
    Connect();
    ASSERT_EQ(device_->currentFilter, -1);
    EXPECT_FALSE(Consumed(Qt::Key_Left, Qt::ControlModifier));
    EXPECT_FALSE(Consumed(Qt::Key_Right, Qt::ControlModifier));
    EXPECT_TRUE(Consumed(Qt::Key_1, Qt::ControlModifier));  // digits still choose
    EXPECT_EQ(emulator_->CurrentFilter(), 1);
}

TEST_F(KeyboardTest, WithoutAFilterTableNoKeySelects) {
    Start();  // not connected: the table is empty
    Control(Id::PositionDisplay)->setFocus();
    EXPECT_FALSE(Consumed(Qt::Key_0));
    EXPECT_FALSE(Consumed(Qt::Key_Left, Qt::ControlModifier));
    EXPECT_FALSE(Consumed(Qt::Key_Up));
}

TEST_F(KeyboardTest, UpAndDownInThePositionBoxReachItsArrows) {
    Start();
    Connect();
    device_->MinMotorStep = 10;
    emulator_->SetFocuserPosition(1000);
    device_->focuserPosition = 1000;
    QTest::keyClick(Control(Id::PositionDisplay), Qt::Key_Up);
    EXPECT_EQ(emulator_->FocuserPosition(), 1010);
    QTest::keyClick(Control(Id::PositionDisplay), Qt::Key_Down);
    EXPECT_EQ(emulator_->FocuserPosition(), 1000);
    EXPECT_EQ(Edit(Id::PositionDisplay)->text(), "1000");
}

TEST_F(KeyboardTest, EscapeTakesTheCancelPath) {
    Start();
    Connect();
    FindControlAs<QComboBox>(*dialog_, Id::PortCombo)->setCurrentIndex(0);
    QTest::keyClick(Edit(Id::ThermometerName0 + 2), Qt::Key_Escape);
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(device_->port, nullptr);
    EXPECT_EQ(device_->settings.ComPort, 0);
}

}  // namespace
}  // namespace kavri::ui::test
