#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <thread>

#include "ConnectionTestSupport.h"
#include "transport/SerialPort.h"
#include "transport/UucpLock.h"

namespace kavri::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using ConnectionTest = DeviceFixture;

TEST_F(ConnectionTest, ProbeSendsTheExactSequenceAndReadsTheControllerState) {
    ScriptedPeer peer;
    Link(4, peer.SlavePath());
    const auto image = SampleImage();
    ScriptFullProbe(peer, image);
    peer.ExpectQuiet(100);
    device_->settings.ComPort = 4;

    ASSERT_TRUE(device_->Connect());
    ASSERT_TRUE(peer.WaitIdle(5000));
    EXPECT_EQ(peer.ReceivedText(),
              std::string("FWFILTERFWfocus") + std::string("FWreadEE\x00\x90", 10) + "FWCOUNTFWzm");

    auto& d = *device_;
    EXPECT_NE(d.port, nullptr);
    EXPECT_TRUE(d.wheelPresent);
    EXPECT_TRUE(d.focuserPresent);
    EXPECT_FALSE(d.busy);
    EXPECT_EQ(d.currentFilter, 3);
    EXPECT_EQ(d.focuserPosition, -1000);
    EXPECT_EQ(std::memcmp(d.config.data(), image.data(), kConfigSize), 0);
    ASSERT_EQ(d.filters.size(), 5u);
    EXPECT_STREQ(d.filters[4].name, "Halpha7n");
    EXPECT_EQ(d.filters[2].wheelPosition, 200);
    EXPECT_EQ(d.microstepCount, 4);
    EXPECT_EQ(d.microstepTable[3], 40);
}

TEST_F(ConnectionTest, WheelOnlyControllerAnsweringNoFilter) {
    ScriptedPeer peer;
    Link(1, peer.SlavePath());
    // "/" is a wheel that does not know its filter; the focuser stays silent.
    peer.Expect("FWFILTER").Reply("/");
    peer.Expect("FWfocus");
    peer.Expect(ReadEeRequest()).Reply(ImageBytes(SampleImage()));
    peer.Expect("FWCOUNT").Reply(":");
    peer.ExpectQuiet(100);  // no "FWzm" without a focuser
    device_->focuserPosition = 77;

    ASSERT_TRUE(device_->Connect());
    ASSERT_TRUE(peer.WaitIdle(5000));
    EXPECT_TRUE(device_->wheelPresent);
    EXPECT_FALSE(device_->focuserPresent);
    EXPECT_EQ(device_->currentFilter, -1);
    EXPECT_EQ(device_->focuserPosition, 77);
    EXPECT_EQ(device_->filters.size(), 10u);
    EXPECT_STREQ(device_->filters[9].name, "Ten");
    EXPECT_EQ(device_->microstepCount, -1);
}

TEST_F(ConnectionTest, FocuserOnlyControllerKeepsTheFilterTable) {
    ScriptedPeer peer;
    Link(1, peer.SlavePath());
    peer.Expect("FWFILTER");  // no wheel: no answer
    peer.Expect("FWfocus").Reply(Bytes{0x10, 0x27});
    peer.Expect(ReadEeRequest()).Reply(ImageBytes(SampleImage()));
    peer.Expect("FWzm").Reply(MicrostepReply());
    peer.ExpectQuiet(100);  // no "FWCOUNT" without a wheel
    device_->filters.resize(2);
    std::strcpy(device_->filters[1].name, "Kept");

    ASSERT_TRUE(device_->Connect());
    ASSERT_TRUE(peer.WaitIdle(5000));
    EXPECT_FALSE(device_->wheelPresent);
    EXPECT_TRUE(device_->focuserPresent);
    EXPECT_EQ(device_->focuserPosition, 10000);
    ASSERT_EQ(device_->filters.size(), 2u);
    EXPECT_STREQ(device_->filters[1].name, "Kept");
    EXPECT_EQ(device_->microstepCount, 4);
}

TEST_F(ConnectionTest, ConfiguredPortIsTheOnlyOneTried) {
    // Controllers on COM2 and COM4 must stay untouched while COM3 has no device.
    ScriptedPeer com2;
    ScriptedPeer com4;
    Link(2, com2.SlavePath());
    Link(4, com4.SlavePath());
    device_->settings.ComPort = 3;

    const auto start = Clock::now();
    EXPECT_FALSE(device_->Connect());
    EXPECT_LT(Clock::now() - start, 150ms);  // an absent device costs no read time-out
    EXPECT_EQ(device_->port, nullptr);
    com2.ExpectQuiet(100);
    com4.ExpectQuiet(100);
    EXPECT_TRUE(com2.WaitIdle(5000));
    EXPECT_TRUE(com4.WaitIdle(5000));
    EXPECT_TRUE(com2.Received().empty());
    EXPECT_TRUE(com4.Received().empty());
}

TEST_F(ConnectionTest, FailedProbeClosesItsPortBeforeTheNextIsTried) {
    ScriptedPeer silent1;  // something that never answers
    ScriptedPeer silent2;
    ScriptedPeer controller;
    Link(1, silent1.SlavePath());
    Link(2, silent2.SlavePath());
    Link(3, controller.SlavePath());
    silent1.Expect("FWFILTER").Expect("FWfocus");
    silent2.Expect("FWFILTER").Expect("FWfocus");
    ScriptFullProbe(controller, SampleImage());

    // While COM2 is being probed, COM1 must already be free again (the port is opened
    // exclusively, so a second open succeeds only after the device closed it) and COM2 must
    // be held (which shows that the check can fail at all).
    std::atomic<int> com1FreeDuringCom2 = -1;
    std::atomic<int> com2HeldDuringCom2 = -1;
    std::atomic<bool> connectDone = false;
    std::thread watcher([&] {
        while (!connectDone && silent2.Received().empty()) std::this_thread::sleep_for(2ms);
        if (connectDone) return;
        PortHandle again1 = OpenSerialPort(silent1.SlavePath(), 9600);
        com1FreeDuringCom2 = again1 != nullptr;
        CloseSerialPort(again1);
        PortHandle again2 = OpenSerialPort(silent2.SlavePath(), 9600);
        com2HeldDuringCom2 = again2 == nullptr;
        CloseSerialPort(again2);
    });

    const auto start = Clock::now();
    const bool connected = device_->Connect();
    const auto elapsed = Clock::now() - start;
    connectDone = true;
    watcher.join();

    ASSERT_TRUE(connected);
    EXPECT_EQ(com1FreeDuringCom2, 1);
    EXPECT_EQ(com2HeldDuringCom2, 1);
    EXPECT_TRUE(silent1.WaitIdle(5000));
    EXPECT_TRUE(silent2.WaitIdle(5000));
    EXPECT_TRUE(controller.WaitIdle(5000));
    // Two silent ports cost their read time-outs, about 0.5 s each; generous for a loaded
    // machine, but far below what a port left waiting would cost.
    EXPECT_GE(elapsed, 900ms);
    EXPECT_LT(elapsed, 5s);
    EXPECT_TRUE(device_->wheelPresent);
    EXPECT_TRUE(device_->focuserPresent);
}

TEST_F(ConnectionTest, ProbeFailuresLeaveTheDeviceDisconnected) {
    // A configuration read cut short: the image the device held stays as it was, so a later
    // write cannot send a mixture of old and new bytes.
    ScriptedPeer shortRead;
    Link(1, shortRead.SlavePath());
    shortRead.Expect("FWFILTER").Reply("1");
    shortRead.Expect("FWfocus").Reply(Bytes{1, 0});
    Bytes half = ImageBytes(SampleImage());
    half.resize(kConfigSize / 2);
    shortRead.Expect(ReadEeRequest()).Reply(half);
    shortRead.ExpectQuiet(100);
    device_->config.filterCount = 9;
    device_->settings.ComPort = 1;
    EXPECT_FALSE(device_->Connect());
    EXPECT_TRUE(shortRead.WaitIdle(5000));
    EXPECT_EQ(device_->port, nullptr);
    EXPECT_FALSE(device_->wheelPresent);
    EXPECT_FALSE(device_->focuserPresent);
    EXPECT_EQ(device_->config.filterCount, 9);
    EXPECT_EQ(device_->config.thermometerCount, 0);

    // A wheel with a count of "0" is not this controller.
    ScriptedPeer badCount;
    Link(2, badCount.SlavePath());
    badCount.Expect("FWFILTER").Reply("0");
    badCount.Expect("FWfocus").Reply(Bytes{1, 0});
    badCount.Expect(ReadEeRequest()).Reply(ImageBytes(SampleImage()));
    badCount.Expect("FWCOUNT").Reply("0");
    badCount.ExpectQuiet(100);
    device_->settings.ComPort = 2;
    EXPECT_FALSE(device_->Connect());
    EXPECT_TRUE(badCount.WaitIdle(5000));
    EXPECT_EQ(device_->port, nullptr);

    // A line hung up during the probe says so.
    ScriptedPeer hangUp;
    Link(3, hangUp.SlavePath());
    hangUp.Expect("FWFILTER").HangUp();
    device_->settings.ComPort = 3;
    EXPECT_FALSE(device_->Connect());
    EXPECT_TRUE(hangUp.WaitIdle(5000));
    EXPECT_EQ(device_->failureReason,
              "no controller found on COM3 (" + hangUp.SlavePath() + "): the line was hung up");

    // Both closed: each can be opened again at once.
    for (auto* peer : {&shortRead, &badCount}) {
        PortHandle again = OpenSerialPort(peer->SlavePath(), 9600);
        EXPECT_NE(again, nullptr);
        CloseSerialPort(again);
    }
}

TEST_F(ConnectionTest, PortsThatCannotBeUsedAreLeftUntouchedAndSayWhy) {
    // A private lock folder, with another program's lock on COM1's device.
    std::filesystem::create_directories(dir_.File("locks"));
    SetUucpLockDirectory(dir_.File("locks"));
    ScriptedPeer held;
    ScriptedPeer controller;
    std::ofstream(UucpLockPath(held.SlavePath())) << std::setw(10) << getppid() << '\n';
    std::ofstream(dir_.File("plain")) << "not a port";
    Link(1, held.SlavePath());
    Link(2, dir_.File("plain"));
    Link(3, controller.SlavePath());
    ScriptFullProbe(controller, SampleImage());
    std::vector<std::string> lines;
    device_->log.SetSink([&](const char* line) { lines.emplace_back(line); });

    ASSERT_TRUE(device_->Connect());
    EXPECT_EQ(device_->portNumber, 3);
    EXPECT_TRUE(controller.WaitIdle(5000));
    const std::string inUse = "COM1 (" + held.SlavePath() + "): in use by ";
    const std::string notPort = "COM2 (" + dir_.File("plain") + "): not a serial port";
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" : " + inUse), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("(process " + std::to_string(getppid()) + ")"), std::string::npos);
    EXPECT_NE(lines[1].find(" : " + notPort), std::string::npos) << lines[1];
    device_->Disconnect();

    // Without a controller, the search names every port that exists and why it was passed
    // over; a configured port says why it failed.
    Link(3, dir_.File("absent"));
    EXPECT_FALSE(device_->Connect());
    const std::string& reason = device_->failureReason;
    EXPECT_EQ(reason.rfind("no controller found on any of COM1..COM16; " + inUse, 0), 0u) << reason;
    EXPECT_NE(reason.find("; " + notPort), std::string::npos) << reason;
    device_->settings.ComPort = 1;
    EXPECT_FALSE(device_->Connect());
    EXPECT_EQ(device_->failureReason.rfind("no controller found on " + inUse, 0), 0u);

    // Nothing ever went to the port another program holds.
    held.ExpectQuiet(50);
    EXPECT_TRUE(held.WaitIdle(2000));
    EXPECT_TRUE(held.Received().empty());
    SetUucpLockDirectory(std::nullopt);
}

TEST_F(ConnectionTest, ConnectWhileConnectedChangesNothing) {
    ScriptedPeer first;
    ScriptedPeer other;
    Link(1, first.SlavePath());
    Link(2, other.SlavePath());
    ScriptFullProbe(first, SampleImage());
    ASSERT_TRUE(device_->Connect());
    ASSERT_TRUE(first.WaitIdle(5000));
    const PortHandle port = device_->port;

    device_->settings.ComPort = 2;
    EXPECT_TRUE(device_->Connect());
    EXPECT_TRUE(device_->OpenPort(2));
    device_->settings.ComPort = 0;
    EXPECT_TRUE(device_->Connect());
    EXPECT_EQ(device_->port, port);
    first.ExpectQuiet(100);
    other.ExpectQuiet(100);
    EXPECT_TRUE(first.WaitIdle(5000));
    EXPECT_TRUE(other.WaitIdle(5000));
    EXPECT_TRUE(other.Received().empty());
}

TEST_F(ConnectionTest, LogFileHoldsOnlyTheCurrentConnection) {
    const std::string logPath = dir_.File("session.log");
    std::ofstream(logPath) << "left over from last night\r\n";
    device_->LogFile = logPath;
    ScriptedPeer peer;
    Link(1, peer.SlavePath());

    ScriptFullProbe(peer, SampleImage());
    ASSERT_TRUE(device_->Connect());
    EXPECT_EQ(ReadFile(logPath), "");  // truncated at connect; the probe logs nothing
    device_->log.Print("first connection\r\n");
    device_->Disconnect();
    device_->log.Print("while disconnected\r\n");
    EXPECT_NE(ReadFile(logPath).find("first connection\r\n"), std::string::npos);

    ScriptFullProbe(peer, SampleImage());
    ASSERT_TRUE(device_->Connect());
    device_->log.Print("second connection\r\n");
    device_->Disconnect();
    ASSERT_TRUE(peer.WaitIdle(5000));

    const std::string content = ReadFile(logPath);
    EXPECT_NE(content.find(" : second connection\r\n"), std::string::npos) << content;
    EXPECT_EQ(content.find("first"), std::string::npos) << content;
    EXPECT_EQ(content.find("disconnected"), std::string::npos) << content;
    EXPECT_EQ(content.find("left over"), std::string::npos) << content;
}

TEST_F(ConnectionTest, UncreatableLogFileLeavesTheConnectionStanding) {
    std::ofstream(dir_.File("plain")) << "x";
    device_->LogFile = dir_.File("plain") + "/session.log";  // below a regular file
    ScriptedPeer peer;
    Link(1, peer.SlavePath());
    ScriptFullProbe(peer, SampleImage());
    EXPECT_TRUE(device_->Connect());
    EXPECT_NE(device_->port, nullptr);
    EXPECT_FALSE(device_->log.HasFile());
    EXPECT_TRUE(peer.WaitIdle(5000));
}

}  // namespace
}  // namespace kavri::test
