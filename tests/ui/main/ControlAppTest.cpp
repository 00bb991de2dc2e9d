// The program's run from start to exit: the port chosen in the dialog survives into the next
// start through the settings store, and the connection is closed before the device goes.
#include <QTimer>

#include "MainDialogRig.h"
#include "ui/main/ControlApp.h"

namespace kavri::ui::test {
namespace {

namespace Id = ControlIds;

class ControlAppTest : public MainDialogRig {};

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
            FindControlAs<QComboBox>(dialog, Id::PortCombo)->setCurrentIndex(3);
            QTest::mouseClick(FindControl(dialog, Id::Exit), Qt::LeftButton);
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
    EXPECT_EQ(FindControlAs<QComboBox>(shown, Id::PortCombo)->currentIndex(), 3);
    EXPECT_EQ(shown.PortIndex(), 3);
}

TEST_F(ControlAppTest, ThermometerNamesTravelBothWays) {
    Start();
    Edit(Id::ThermometerName0 + 2)->setText(QStringLiteral("Зеркало"));
    dialog_->UpdateData(true);
    EXPECT_EQ(device_->TermometerName[2], "Зеркало");
    device_->TermometerName[3] = "Tube";
    dialog_->UpdateData(false);
    EXPECT_EQ(Edit(Id::ThermometerName0 + 3)->text(), "Tube");
}

TEST_F(ControlAppTest, PortTheListCannotShowIsKept) {
    Start();
    device_->settings.ComPort = 16;  // searchable, but beyond the list's COM15
    dialog_.reset();
    dialog_ = std::make_unique<ControlDialog>(device_.get());
    EXPECT_EQ(FindControlAs<QComboBox>(*dialog_, Id::PortCombo)->currentIndex(), -1);
    dialog_->reject();
    EXPECT_EQ(device_->settings.ComPort, 16);
}

}  // namespace
}  // namespace kavri::ui::test
