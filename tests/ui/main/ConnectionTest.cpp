// Connecting and disconnecting the main dialog: the enabling rules for each kind of controller,
// shared clients, a failed connection and a line that hangs up.
#include "MainDialogRig.h"

namespace kavri::ui::test {
namespace {

class ConnectionTest : public MainDialogRig {
protected:
    // Every enabling rule of the dialog for one state of the connection.
    void ExpectEnabling(bool connected, bool focuser, bool wheel) const {
        for (int id : {Id::Connect, Id::PortCombo}) EXPECT_EQ(Enabled(id), !connected) << id;
        for (int id : {Id::Disconnect, Id::Save, Id::Load}) EXPECT_EQ(Enabled(id), connected) << id;
        for (int id : {Id::MinStep, Id::MinStepSpin, Id::FocuserSpin, Id::Go, Id::TargetPosition,
                       Id::Set, Id::FocuserSettings})
            EXPECT_EQ(Enabled(id), focuser) << id;
        EXPECT_EQ(Enabled(Id::WheelSettings), wheel);
        EXPECT_TRUE(Enabled(Id::Exit));
        for (int k = 0; k < 4; ++k) {
            EXPECT_TRUE(Enabled(Id::ThermometerName0 + k));
            EXPECT_FALSE(Enabled(Id::AutoBox0 + k));
        }
    }
};

TEST_F(ConnectionTest, EnablingFollowsTheControllerAndDisconnectClearsIt) {
    const struct {
        const char* what;
        bool wheel, focuser;
    } kinds[] = {{"wheel and focuser", true, true},
                 {"wheel only", true, false},
                 {"focuser only", false, true}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.what);
        sim::EmulatorOptions options;
        options.wheelOnly = !kind.focuser;
        options.focuserOnly = !kind.wheel;
        Start(options);
        ExpectEnabling(false, false, false);
        EXPECT_EQ(PortCombo()->currentIndex(), 1);
        EXPECT_EQ(Edit(Id::MinStep)->text(), "1");
        Connect();
        ExpectEnabling(true, kind.focuser, kind.wheel);
        EXPECT_EQ(List()->RowCount(), kind.wheel ? 5 : 0);
        EXPECT_EQ(Sent("FWCOUNT") > 0, kind.wheel);
        EXPECT_EQ(dialog_->focusWidget(), Control(Id::PositionDisplay));
        EXPECT_EQ(LogCount(") = connect\r\n"), 1);

        dialog_->OnDisconnect();
        EXPECT_EQ(device_->port, nullptr);
        EXPECT_EQ(LogCount(") = Disconnect\r\n"), 1);
        ExpectEnabling(false, false, false);
        EXPECT_EQ(List()->RowCount(), 0);
        EXPECT_TRUE(device_->Clients().empty());
    }
}

TEST_F(ConnectionTest, FailedConnectionChangesNothingButTheLog) {
    Start();
    PortCombo()->setCurrentIndex(2);  // COM2: no device
    dialog_->OnConnect();
    EXPECT_EQ(device_->port, nullptr);
    EXPECT_EQ(device_->settings.ComPort, 2);
    ASSERT_EQ(log_.size(), 2u);
    EXPECT_NE(log_[0].find(") = connect\r\n"), std::string::npos) << log_[0];
    EXPECT_NE(log_[1].find(" : no controller found on "), std::string::npos) << log_[1];
    EXPECT_NE(log_[1].find(": no such device"), std::string::npos) << log_[1];
    EXPECT_TRUE(device_->Clients().empty());
    ExpectEnabling(false, false, false);
    EXPECT_EQ(emulator_->CommandsReceived(), 0u);
}

// Another client keeps the port open when the dialog leaves; the accept path leaves too.
TEST_F(ConnectionTest, TheLastClientToLeaveClosesThePort) {
    Start();
    Connect();
    int other = 0;
    EXPECT_TRUE(device_->ConnectMulti(&other));
    EXPECT_EQ(LogCount(") = skip\r\n"), 1);
    dialog_->OnDisconnect();
    EXPECT_EQ(LogCount(") = skip\r\n"), 2);
    EXPECT_NE(device_->port, nullptr);
    EXPECT_EQ(List()->RowCount(), 5);  // the rows stay while the port is open
    ExpectEnabling(true, true, true);
    device_->DisconnectMulti(&other);
    EXPECT_EQ(device_->port, nullptr);

    Connect();
    dialog_->accept();
    EXPECT_EQ(device_->port, nullptr);
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
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
        ExpectEnabling(false, false, false);
        EXPECT_EQ(List()->RowCount(), 0);
        dialog_->OnTimer();
        dialog_->OnTimer();
        ASSERT_EQ(warnings_.size(), shown + 1);
        EXPECT_TRUE(warnings_.back().contains(QStringLiteral("Подключитесь снова")));
        EXPECT_EQ(LogCount(") = Disconnect\r\n"), shown + 1);
        StartEmulator();  // plugged in again
    }
    Connect();
    dialog_->OnTimer();
    EXPECT_TRUE(Enabled(Id::Disconnect));
    EXPECT_EQ(List()->RowCount(), 5);
    EXPECT_EQ(warnings_.size(), 2);
}

}  // namespace
}  // namespace kavri::ui::test
