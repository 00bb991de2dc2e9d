// Connecting: which ports are tried, the probe's exact exchange, what a failed probe leaves,
// why an unusable port is passed over, and the log file of a connection.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "device/DeviceOnPeer.h"
#include "transport/UucpLock.h"

namespace kavri::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Connection = DeviceTestBase;

TEST_F(Connection, TheProbeAsksOnlyWhatThePresentMechanismsCanAnswer) {
    ScriptedPeer both, wheelOnly, focuserOnly;
    Link(4, both.SlavePath());
    ScriptFullProbe(both);
    both.ExpectQuiet(50);
    device->settings.ComPort = 4;
    ASSERT_TRUE(device->Connect());
    ASSERT_TRUE(both.WaitIdle(5000));
    WheelFocuserDevice& d = *device;
    EXPECT_TRUE(d.wheelPresent && d.focuserPresent && !d.busy);
    EXPECT_EQ(d.portNumber, 4);
    EXPECT_EQ(d.currentFilter, 3);
    EXPECT_EQ(d.focuserPosition, -1000);
    EXPECT_EQ(ImageBytes(d.config), ImageBytes(SampleImage()));
    ASSERT_EQ(d.filters.size(), 5u);
    EXPECT_STREQ(d.filters[4].name, "Halpha7n");
    EXPECT_EQ(d.filters[2].wheelPosition, 200);
    EXPECT_EQ(d.microstepCount, 4);
    EXPECT_EQ(d.microstepTable[3], 40);
    d.Disconnect();
    EXPECT_TRUE(d.port == nullptr && !d.wheelPresent && !d.focuserPresent);
    EXPECT_EQ(d.focuserPosition, -1000);  // what the controller last said stays for display

    // "/" is a wheel that does not know its filter; no "FWzm" without a focuser.
    Link(4, wheelOnly.SlavePath());
    wheelOnly.Expect("FWFILTER").Reply("/").Expect("FWfocus");
    wheelOnly.Expect(kReadImage).Reply(ImageBytes(SampleImage())).Expect("FWCOUNT").Reply(":");
    wheelOnly.ExpectQuiet(50);
    ASSERT_TRUE(d.Connect());
    ASSERT_TRUE(wheelOnly.WaitIdle(5000));
    EXPECT_TRUE(d.wheelPresent && !d.focuserPresent);
    EXPECT_EQ(d.currentFilter, -1);
    EXPECT_EQ(d.focuserPosition, -1000);
    EXPECT_STREQ(d.filters[9].name, "Ten");
    d.Disconnect();

    // No "FWCOUNT" without a wheel: the filter table stays.
    Link(4, focuserOnly.SlavePath());
    focuserOnly.Expect("FWFILTER").Expect("FWfocus").Reply("\x10\x27");
    focuserOnly.Expect(kReadImage).Reply(ImageBytes(SampleImage())).Expect("FWzm").Reply("\0"s);
    focuserOnly.ExpectQuiet(50);
    ASSERT_TRUE(d.Connect());
    ASSERT_TRUE(focuserOnly.WaitIdle(5000));
    EXPECT_TRUE(!d.wheelPresent && d.focuserPresent);
    EXPECT_EQ(d.focuserPosition, 10000);
    EXPECT_EQ(d.filters.size(), 10u);
}

TEST_F(Connection, AConfiguredPortIsTheOnlyOneTriedAndAConnectedDeviceStaysPut) {
    ScriptedPeer com2, com4;
    Link(2, com2.SlavePath());
    Link(4, com4.SlavePath());
    device->settings.ComPort = 3;  // no device
    const auto start = Clock::now();
    EXPECT_FALSE(device->Connect());
    EXPECT_LT(Clock::now() - start, 150ms);  // an absent device costs no read time-out
    EXPECT_EQ(device->port, nullptr);

    device->settings.ComPort = 2;
    ScriptFullProbe(com2);
    ASSERT_TRUE(device->Connect());
    const PortHandle port = device->port;
    device->settings.ComPort = 4;
    EXPECT_TRUE(device->Connect());
    EXPECT_TRUE(device->OpenPort(4));
    device->settings.ComPort = 0;
    EXPECT_TRUE(device->Connect());
    EXPECT_EQ(device->port, port);
    com2.ExpectQuiet(50);
    com4.ExpectQuiet(50);
    EXPECT_TRUE(com2.WaitIdle(5000) && com4.WaitIdle(5000));
    EXPECT_TRUE(com4.Received().empty());
}

TEST_F(Connection, TheSearchClosesAFailedPortBeforeTryingTheNext) {
    ScriptedPeer silent1, silent2, controller;  // two ports where nothing answers
    Link(1, silent1.SlavePath());
    Link(2, silent2.SlavePath());
    Link(3, controller.SlavePath());
    silent1.Expect("FWFILTER").Expect("FWfocus");
    silent2.Expect("FWFILTER").Expect("FWfocus");
    ScriptFullProbe(controller);
    // While COM2 is probed, COM1 must be free again (the port is opened exclusively) and COM2
    // held (which shows that the check can fail at all).
    std::atomic<int> com1Free = -1, com2Held = -1;
    std::atomic<bool> done = false;
    std::thread watcher([&] {
        while (!done && silent2.Received().empty()) std::this_thread::sleep_for(2ms);
        if (done) return;
        PortHandle again = OpenSerialPort(silent1.SlavePath(), 9600);
        com1Free = again != nullptr;
        CloseSerialPort(again);
        again = OpenSerialPort(silent2.SlavePath(), 9600);
        com2Held = again == nullptr;
        CloseSerialPort(again);
    });
    const auto start = Clock::now();
    const bool connected = device->Connect();
    const auto elapsed = Clock::now() - start;
    done = true;
    watcher.join();
    ASSERT_TRUE(connected);
    EXPECT_EQ(device->portNumber, 3);
    EXPECT_EQ(com1Free, 1);
    EXPECT_EQ(com2Held, 1);
    EXPECT_TRUE(silent1.WaitIdle(5000) && silent2.WaitIdle(5000) && controller.WaitIdle(5000));
    // Each silent port costs its two read time-outs, 0.5 s; a port left waiting far more.
    EXPECT_GE(elapsed, 900ms);
    EXPECT_LT(elapsed, 5s);
}

TEST_F(Connection, AFailedProbeLeavesTheDeviceDisconnectedWithItsImage) {
    // A configuration read cut short: the image the device held stays as it was, so a later
    // write cannot send a mixture of old and new bytes.
    ScriptedPeer shortRead, badCount, hangUp;
    Link(1, shortRead.SlavePath());
    shortRead.Expect("FWFILTER").Reply("1").Expect("FWfocus").Reply("\x01\x00"s);
    shortRead.Expect(kReadImage).Reply(Bytes(72, 9)).ExpectQuiet(50);
    device->config.filterCount = 9;
    device->settings.ComPort = 1;
    EXPECT_FALSE(device->Connect());
    EXPECT_TRUE(shortRead.WaitIdle(5000));
    EXPECT_TRUE(device->port == nullptr && !device->wheelPresent && !device->focuserPresent);
    EXPECT_EQ(ImageBytes(device->config)[1], 9);
    EXPECT_EQ(ImageBytes(device->config)[0], 0);

    // A wheel with a count of "0" is not this controller.
    Link(2, badCount.SlavePath());
    badCount.Expect("FWFILTER").Reply("0").Expect("FWfocus").Reply("\x01\x00"s);
    badCount.Expect(kReadImage).Reply(ImageBytes(SampleImage()));
    badCount.Expect("FWCOUNT").Reply("0").ExpectQuiet(50);
    device->settings.ComPort = 2;
    EXPECT_FALSE(device->Connect());
    EXPECT_TRUE(badCount.WaitIdle(5000));
    EXPECT_EQ(device->port, nullptr);
    EXPECT_EQ(device->failureReason,
              "no controller found on COM2 (" + badCount.SlavePath() + "): no answer");

    // A line hung up during the probe says so.
    Link(3, hangUp.SlavePath());
    hangUp.Expect("FWFILTER").HangUp();
    device->settings.ComPort = 3;
    EXPECT_FALSE(device->Connect());
    EXPECT_EQ(device->failureReason,
              "no controller found on COM3 (" + hangUp.SlavePath() + "): the line was hung up");
    // Both closed: each can be opened again at once.
    for (const ScriptedPeer* peer : {&shortRead, &badCount}) {
        PortHandle again = OpenSerialPort(peer->SlavePath(), 9600);
        EXPECT_NE(again, nullptr);
        CloseSerialPort(again);
    }
}

TEST_F(Connection, PortsThatCannotBeUsedAreLeftUntouchedAndSayWhy) {
    std::filesystem::create_directories(dir_.File("locks"));
    SetUucpLockDirectory(dir_.File("locks"));
    ScriptedPeer held, controller;
    WriteFileText(UucpLockPath(held.SlavePath()), std::string(10, ' ') + "1\n");  // init's PID
    WriteFileText(dir_.File("plain"), "not a port");
    Link(1, held.SlavePath());
    Link(2, dir_.File("plain"));
    Link(3, controller.SlavePath());
    ScriptFullProbe(controller);
    ASSERT_TRUE(device->Connect());
    EXPECT_EQ(device->portNumber, 3);
    EXPECT_TRUE(controller.WaitIdle(5000));
    const std::string inUse = "COM1 (" + held.SlavePath() + "): in use by ";
    const std::string notPort = "COM2 (" + dir_.File("plain") + "): not a serial port";
    ASSERT_EQ(sinkLines.size(), 2u);
    EXPECT_EQ(sinkLines[0].rfind(inUse, 0), 0u) << sinkLines[0];
    EXPECT_NE(sinkLines[0].find("(process 1)"), std::string::npos) << sinkLines[0];
    EXPECT_EQ(sinkLines[1].rfind(notPort, 0), 0u) << sinkLines[1];
    device->Disconnect();

    // Without a controller the search names every port that exists and why it was passed
    // over; a configured port says why it failed.
    Link(3, dir_.File("absent"));
    EXPECT_FALSE(device->Connect());
    const std::string& reason = device->failureReason;
    EXPECT_EQ(reason.rfind("no controller found on any of COM1..COM16; " + inUse, 0), 0u) << reason;
    EXPECT_NE(reason.find("; " + notPort), std::string::npos) << reason;
    device->settings.ComPort = 1;
    EXPECT_FALSE(device->Connect());
    EXPECT_EQ(device->failureReason.rfind("no controller found on " + inUse, 0), 0u);
    held.ExpectQuiet(50);  // nothing ever went to the port another program holds
    EXPECT_TRUE(held.WaitIdle(2000));
    EXPECT_TRUE(held.Received().empty());
    SetUucpLockDirectory(std::nullopt);
}

TEST_F(Connection, TheLogFileHoldsOnlyTheCurrentConnection) {
    const std::string logPath = dir_.File("session.log");
    WriteFileText(logPath, "left over from last night\r\n");
    device->LogFile = logPath;
    ScriptedPeer peer;
    Link(1, peer.SlavePath());
    for (const char* text : {"first", "second"}) {
        ScriptFullProbe(peer);
        ASSERT_TRUE(device->Connect());
        EXPECT_EQ(ReadFileText(logPath), "");  // emptied at connect; the probe logs nothing
        device->log.Print("%s connection\r\n", text);
        device->Disconnect();
        device->log.Print("while disconnected\r\n");
    }
    ASSERT_TRUE(peer.WaitIdle(5000));
    const std::string content = ReadFileText(logPath);
    EXPECT_EQ(content.substr(content.find(" : ")), " : second connection\r\n") << content;

    // A log file that cannot be created leaves the connection standing.
    device->LogFile = dir_.File("session.log/below-a-file.log");
    ScriptFullProbe(peer);
    EXPECT_TRUE(device->Connect());
    EXPECT_FALSE(device->log.HasFile());
    EXPECT_TRUE(peer.WaitIdle(5000));
}

}  // namespace
}  // namespace kavri::test
