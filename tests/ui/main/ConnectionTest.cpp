// Connecting and disconnecting the main dialog: the enabling rules for a full, a wheel-only and
// a focuser-only controller, the shared-client log lines, a failed connection.
#include "MainDialogRig.h"

namespace kavri::ui::test {
namespace {

namespace Id = ControlIds;

using ConnectionTest = MainDialogRig;

// Controls whose state does not depend on the connection.
void ExpectAlwaysUsable(const ControlDialog& dialog) {
    EXPECT_TRUE(FindControl(dialog, Id::Exit)->isEnabled());
    for (int k = 0; k < 4; ++k) {
        EXPECT_TRUE(FindControl(dialog, Id::ThermometerName0 + k)->isEnabled());
        EXPECT_FALSE(FindControl(dialog, Id::AutoBox0 + k)->isEnabled());
    }
}

void ExpectFocuserControls(const ControlDialog& dialog, bool enabled) {
    for (int id : {Id::MinStep, Id::MinStepSpin, Id::FocuserSpin, Id::Go, Id::TargetPosition,
                   Id::Set, Id::FocuserSettings})
        EXPECT_EQ(FindControl(dialog, id)->isEnabled(), enabled) << "control " << id;
}

void ExpectConnectedState(const ControlDialog& dialog, bool connected) {
    EXPECT_EQ(FindControl(dialog, Id::Connect)->isEnabled(), !connected);
    EXPECT_EQ(FindControl(dialog, Id::PortCombo)->isEnabled(), !connected);
    EXPECT_EQ(FindControl(dialog, Id::Disconnect)->isEnabled(), connected);
    EXPECT_EQ(FindControl(dialog, Id::Save)->isEnabled(), connected);
    EXPECT_EQ(FindControl(dialog, Id::Load)->isEnabled(), connected);
}

TEST_F(ConnectionTest, StartsDisconnectedWithOnlyThePortControlsUsable) {
    Start();
    ExpectConnectedState(*dialog_, false);
    ExpectFocuserControls(*dialog_, false);
    EXPECT_FALSE(Enabled(Id::WheelSettings));
    ExpectAlwaysUsable(*dialog_);
    EXPECT_EQ(List()->RowCount(), 0);
    EXPECT_EQ(FindControlAs<QComboBox>(*dialog_, Id::PortCombo)->currentIndex(), 1);
    EXPECT_EQ(Edit(Id::MinStep)->text(), "1");
}

TEST_F(ConnectionTest, FullControllerEnablesEverythingAndLogsTheFirstClient) {
    Start();
    Connect();
    ExpectConnectedState(*dialog_, true);
    ExpectFocuserControls(*dialog_, true);
    EXPECT_TRUE(Enabled(Id::WheelSettings));
    ExpectAlwaysUsable(*dialog_);
    EXPECT_EQ(List()->RowCount(), 5);
    EXPECT_EQ(dialog_->focusWidget(), Control(Id::PositionDisplay));
    EXPECT_EQ(device_->Clients().count(reinterpret_cast<uintptr_t>(dialog_.get())), 1u);
    EXPECT_EQ(LogCount("ConnectMulti(" + Hex(dialog_.get()) + ") = connect\r\n"), 1);

    dialog_->OnDisconnect();
    EXPECT_EQ(device_->port, nullptr);
    EXPECT_EQ(LogCount("DisconnectMulti(" + Hex(dialog_.get()) + ") = Disconnect\r\n"), 1);
    ExpectConnectedState(*dialog_, false);
    ExpectFocuserControls(*dialog_, false);
    EXPECT_FALSE(Enabled(Id::WheelSettings));
    EXPECT_EQ(List()->RowCount(), 0);
    EXPECT_TRUE(device_->Clients().empty());
}

TEST_F(ConnectionTest, WheelOnlyControllerLeavesTheFocuserControlsDisabled) {
    sim::EmulatorOptions options;
    options.wheelOnly = true;
    Start(options);
    Connect();
    ExpectConnectedState(*dialog_, true);
    ExpectFocuserControls(*dialog_, false);
    EXPECT_TRUE(Enabled(Id::WheelSettings));
    EXPECT_EQ(List()->RowCount(), 5);
}

TEST_F(ConnectionTest, FocuserOnlyControllerLeavesTheWheelSettingsDisabled) {
    sim::EmulatorOptions options;
    options.focuserOnly = true;
    Start(options);
    Connect();
    ExpectConnectedState(*dialog_, true);
    ExpectFocuserControls(*dialog_, true);
    EXPECT_FALSE(Enabled(Id::WheelSettings));
    EXPECT_EQ(List()->RowCount(), 0);  // no wheel: the table is never filled
    EXPECT_EQ(Sent("FWCOUNT"), 0);
}

TEST_F(ConnectionTest, FailedConnectionChangesNothingButTheLog) {
    Start();
    FindControlAs<QComboBox>(*dialog_, Id::PortCombo)->setCurrentIndex(2);  // COM2: no device
    dialog_->OnConnect();
    EXPECT_EQ(device_->port, nullptr);
    EXPECT_EQ(device_->settings.ComPort, 2);
    EXPECT_EQ(LogCount("ConnectMulti(" + Hex(dialog_.get()) + ") = connect\r\n"), 1);
    EXPECT_EQ(log_.size(), 1u);
    EXPECT_TRUE(device_->Clients().empty());
    ExpectConnectedState(*dialog_, false);
    EXPECT_EQ(emulator_->CommandsReceived(), 0u);
}

TEST_F(ConnectionTest, SecondClientKeepsThePortOpenWhenTheDialogLeaves) {
    Start();
    Connect();
    int other = 0;
    EXPECT_TRUE(device_->ConnectMulti(&other));
    EXPECT_EQ(LogCount("ConnectMulti(" + Hex(&other) + ") = skip\r\n"), 1);

    dialog_->OnDisconnect();
    EXPECT_EQ(LogCount("DisconnectMulti(" + Hex(dialog_.get()) + ") = skip\r\n"), 1);
    EXPECT_NE(device_->port, nullptr);
    EXPECT_EQ(List()->RowCount(), 5);  // the rows stay while the port is open
    ExpectConnectedState(*dialog_, true);

    device_->DisconnectMulti(&other);
    EXPECT_EQ(LogCount("DisconnectMulti(" + Hex(&other) + ") = Disconnect\r\n"), 1);
    EXPECT_EQ(device_->port, nullptr);
}

// The line hung up (adapter unplugged): the next tick disconnects and says so once, and the
// user can connect again.
TEST_F(ConnectionTest, HungUpLineDisconnectsAtTheNextTickAndTellsOnce) {
    Start();
    const char* const ways[] = {"hang-up in a reply", "pseudo-terminal closed"};
    for (const char* way : ways) {
        SCOPED_TRACE(way);
        Connect();
        const int shown = static_cast<int>(warnings_.size());
        if (way == ways[0]) {
            emulator_->AddFault({sim::FaultKind::kHangUp, "FWfocus"});
        } else {
            emulator_->Stop();
        }
        dialog_->OnTimer();
        EXPECT_EQ(device_->port, nullptr);
        ExpectConnectedState(*dialog_, false);
        ExpectFocuserControls(*dialog_, false);
        EXPECT_EQ(List()->RowCount(), 0);
        dialog_->OnTimer();
        dialog_->OnTimer();
        ASSERT_EQ(warnings_.size(), shown + 1);
        EXPECT_TRUE(warnings_.back().contains(QStringLiteral("Подключитесь снова")));
        EXPECT_EQ(LogCount("DisconnectMulti(" + Hex(dialog_.get()) + ") = Disconnect\r\n"),
                  shown + 1);
        StartEmulator();  // plugged in again
    }
    Connect();
    dialog_->OnTimer();
    ExpectConnectedState(*dialog_, true);
    EXPECT_EQ(List()->RowCount(), 5);
    EXPECT_EQ(warnings_.size(), 2);
}

TEST_F(ConnectionTest, ExitWhileConnectedClosesThePortAndStoresThePort) {
    Start();
    Connect();
    FindControlAs<QComboBox>(*dialog_, Id::PortCombo)->setCurrentIndex(3);  // disabled, but set
    QTest::mouseClick(Control(Id::Exit), Qt::LeftButton);
    EXPECT_EQ(device_->port, nullptr);
    EXPECT_EQ(dialog_->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(device_->settings.ComPort, 3);
    EXPECT_EQ(LogCount("DisconnectMulti(" + Hex(dialog_.get()) + ") = Disconnect\r\n"), 1);
}

TEST_F(ConnectionTest, AcceptPathLeavesTheClientsToo) {
    Start();
    Connect();
    dialog_->accept();
    EXPECT_EQ(device_->port, nullptr);
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
}

}  // namespace
}  // namespace kavri::ui::test
