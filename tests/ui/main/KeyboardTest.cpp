// The main dialog's keyboard rules: Enter connects only while disconnected, digits and
// Left/Right choose filters from the position box or with Ctrl anywhere, Up/Down there drive
// the focuser, Escape takes the cancel path, and every other key reaches the focused control.
#include <QKeyEvent>

#include "MainDialogRig.h"

namespace kavri::ui::test {
namespace {

class KeyboardTest : public MainDialogRig {
protected:
    bool Consumed(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const QKeyEvent event(QEvent::KeyPress, key, modifiers);
        return dialog_->PreTranslateKey(event);
    }
};

TEST_F(KeyboardTest, EnterConnectsOnlyWhileDisconnected) {
    Start();
    Control(Id::PositionDisplay)->setFocus();
    EXPECT_FALSE(Consumed(Qt::Key_0));  // no filter table yet: no key selects
    EXPECT_FALSE(Consumed(Qt::Key_Left, Qt::ControlModifier));
    QLineEdit* name = Edit(Id::ThermometerName0);
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Return);  // from a text field, too
    ASSERT_NE(device_->port, nullptr);

    const auto commands = emulator_->CommandsReceived();
    QTest::keyClick(Control(Id::PositionDisplay), Qt::Key_Enter);
    QTest::keyClick(Control(Id::Disconnect), Qt::Key_Return);  // presses no button either
    EXPECT_NE(device_->port, nullptr);
    EXPECT_EQ(emulator_->CommandsReceived(), commands);
    EXPECT_EQ(LogCount("= connect\r\n"), 1);

    PortCombo()->setCurrentIndex(0);
    QTest::keyClick(Edit(Id::ThermometerName0 + 2), Qt::Key_Escape);
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(device_->port, nullptr);
    EXPECT_EQ(device_->settings.ComPort, 0);
}

TEST_F(KeyboardTest, FilterKeysWorkInThePositionBoxOrWithCtrl) {
    Start();
    Connect();  // five filters, the wheel at 0
    const int position = Id::PositionDisplay, name = Id::ThermometerName0 + 1;
    const struct {
        int focus, key;
        Qt::KeyboardModifiers modifiers;
        int filter;  // where the wheel is afterwards; -1: the key passes on
    } keys[] = {
        {position, Qt::Key_3, Qt::NoModifier, 3},
        {position, Qt::Key_0, Qt::NoModifier, 0},
        {name, Qt::Key_Left, Qt::ControlModifier, 4},  // round the wheel both ways
        {name, Qt::Key_Right, Qt::ControlModifier, 0},
        {position, Qt::Key_Right, Qt::NoModifier, 1},
        {name, Qt::Key_4, Qt::ControlModifier, 4},
        {name, Qt::Key_5, Qt::ControlModifier, -1},  // no sixth filter
        {name, Qt::Key_Right, Qt::NoModifier, -1},
        {position, Qt::Key_2, Qt::KeypadModifier, -1},
        {name, Qt::Key_2, Qt::NoModifier, -1},  // typed into the name
    };
    int at = 0;
    for (const auto& k : keys) {
        SCOPED_TRACE(testing::Message() << "key " << k.key << " in " << k.focus);
        const int gotos = Sent("FWGOTO");
        Control(k.focus)->setFocus();
        QTest::keyClick(Control(k.focus), static_cast<Qt::Key>(k.key), k.modifiers);
        if (k.filter >= 0) at = k.filter;
        EXPECT_EQ(emulator_->CurrentFilter(), at);
        EXPECT_EQ(device_->currentFilter, at);
        EXPECT_EQ(Sent("FWGOTO"), gotos + (k.filter >= 0 ? 1 : 0));
    }
    EXPECT_EQ(Edit(name)->text().right(1), "2");

    device_->currentFilter = -1;  // unknown: the arrows pass, digits still choose
    EXPECT_FALSE(Consumed(Qt::Key_Left, Qt::ControlModifier));
    EXPECT_FALSE(Consumed(Qt::Key_Right, Qt::ControlModifier));
    EXPECT_TRUE(Consumed(Qt::Key_1, Qt::ControlModifier));
    EXPECT_EQ(emulator_->CurrentFilter(), 1);
}

}  // namespace
}  // namespace kavri::ui::test
