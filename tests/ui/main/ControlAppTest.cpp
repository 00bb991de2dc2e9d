// The program's run from start to exit: the port chosen in the dialog survives into the next
// start through the settings store, the connection is closed before the device goes, and the
// thermometer names travel in the device's code page.
#include <QTimer>

#include "MainDialogRig.h"
#include "device/Cp1251.h"
#include "ui/main/ControlApp.h"

namespace kavri::ui::test {
namespace {

using ControlAppTest = MainDialogRig;

TEST_F(ControlAppTest, ExitStoresTheChosenPortForTheNextStart) {
    Start();  // the emulator and the port map; this rig's own dialog is not used
    dialog_.reset();
    device_.reset();
    bool wasConnected = false;
    bool closedBeforeTheDeviceWent = false;
    ControlApp program(store_);
    program.SetDialogHook([&](ControlDialog& dialog, WheelFocuserDevice& device) {
        device.log.SetSink([this](const char* line) { log_.emplace_back(line); });
        QTimer::singleShot(0, &dialog, [&] {
            dialog.OnConnect();
            wasConnected = device.port != nullptr;
            Find<QComboBox>(dialog, Id::PortCombo)->setCurrentIndex(3);  // disabled, but set
            Press(dialog, Id::Exit);
            closedBeforeTheDeviceWent = device.port == nullptr;
        });
    });
    EXPECT_FALSE(program.InitInstance());
    EXPECT_TRUE(wasConnected);
    EXPECT_TRUE(closedBeforeTheDeviceWent);
    EXPECT_EQ(LogCount(") = Disconnect\r\n"), 1);

    WheelFocuserDevice next(store_, timers_);
    EXPECT_EQ(next.settings.ComPort, 3);
    ControlDialog shown(&next);
    EXPECT_EQ(Find<QComboBox>(shown, Id::PortCombo)->currentIndex(), 3);

    next.settings.ComPort = 16;  // searchable, but beyond the list's COM15: kept as it is
    ControlDialog beyond(&next);
    EXPECT_EQ(Find<QComboBox>(beyond, Id::PortCombo)->currentIndex(), -1);
    beyond.reject();
    EXPECT_EQ(next.settings.ComPort, 16);
}

// Thermometer names are windows-1251 bytes in the device, as .fws files and the settings store
// hand them over.
TEST_F(ControlAppTest, ThermometerNamesTravelBothWaysInWindows1251) {
    Start();
    QLineEdit* mirror = Edit(Id::ThermometerName0);
    QLineEdit* odd = Edit(Id::ThermometerName0 + 1);
    const std::string oddBytes("\x98\xFF\x01 x", 5);              // no text a user types
    device_->TermometerName[0] = "\xC7\xE5\xF0\xEA\xE0\xEB\xEE";  // "Зеркало"
    device_->TermometerName[1] = oddBytes;
    dialog_->UpdateData(false);
    EXPECT_EQ(mirror->text(), QStringLiteral("Зеркало"));
    dialog_->UpdateData(true);  // shown, not edited: the bytes stay as they were
    EXPECT_EQ(device_->TermometerName[1], oddBytes);

    mirror->setText(QStringLiteral("Воздух"));
    Connect();  // connecting takes the typed names over
    EXPECT_EQ(device_->TermometerName[0], "\xC2\xEE\xE7\xE4\xF3\xF5");
    EXPECT_TRUE(warnings_.isEmpty());

    odd->setText(QStringLiteral("\u2603"));  // a snowman has no windows-1251 form
    dialog_->OnDisconnect();
    EXPECT_EQ(device_->TermometerName[1], oddBytes);
    EXPECT_EQ(odd->text(), QString::fromStdString(Cp1251ToUtf8(oddBytes)));
    ASSERT_EQ(warnings_.size(), 1);
    EXPECT_TRUE(warnings_[0].contains(QStringLiteral("\u2603")));

    // Typed and left: refused as the field is left, before anything takes the names over.
    odd->setFocus();
    QTest::sendKeyEvent(QTest::Click, odd, Qt::Key_unknown, QStringLiteral("\u2603"), {});
    Edit(Id::PositionDisplay)->setFocus();
    ASSERT_EQ(warnings_.size(), 2);
    EXPECT_EQ(odd->text(), QString::fromStdString(Cp1251ToUtf8(oddBytes)));
}

}  // namespace
}  // namespace kavri::ui::test
