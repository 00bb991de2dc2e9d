// Connecting: which ports are tried, the probe's exact exchange, what a failed probe leaves,
// why an unusable port is passed over, and the log file of a connection.
#include <gtest/gtest.h>

#include <chrono>

#include "device/DeviceOnPeer.h"
#include "transport/UucpLock.h"

namespace kavri::test {
namespace {

using Connection = DeviceTestBase;

TEST_F(Connection, TheProbeAsksOnlyWhatThePresentMechanismsCanAnswer) {
    ScriptedPeer both, wheelOnly, focuserOnly;
    ScriptFullProbe(both);
    // "/" is a wheel that does not know its filter; no "FWzm" without a focuser.
    wheelOnly.Expect("FWFILTER").Reply("/").Expect("FWfocus");
    wheelOnly.Expect(kReadImage).Reply(ImageBytes(SampleImage())).Expect("FWCOUNT").Reply(":");
    // No "FWCOUNT" without a wheel: the filter table stays.
    focuserOnly.Expect("FWFILTER").Expect("FWfocus").Reply("\x10\x27");
    focuserOnly.Expect(kReadImage).Reply(ImageBytes(SampleImage())).Expect("FWzm").Reply("\0"s);
    WheelFocuserDevice& d = *device;
    d.settings.ComPort = 4;
    for (ScriptedPeer* peer : {&both, &wheelOnly, &focuserOnly}) {
        d.Disconnect();
        EXPECT_TRUE(d.port == nullptr && !d.wheelPresent && !d.focuserPresent);
        Link(4, peer->SlavePath());
        peer->ExpectQuiet(50);
        ASSERT_TRUE(d.Connect());
        ASSERT_TRUE(peer->WaitIdle(5000));
        EXPECT_EQ(d.portNumber, 4);
        EXPECT_EQ(d.wheelPresent, peer != &focuserOnly);
        EXPECT_EQ(d.focuserPresent, peer != &wheelOnly);
        EXPECT_EQ(ImageBytes(d.config), ImageBytes(SampleImage()));
        if (peer == &wheelOnly) EXPECT_EQ(d.focuserPosition, -1000);  // kept for display
        if (peer == &both) {
            EXPECT_EQ(d.currentFilter, 3);
            EXPECT_EQ(d.focuserPosition, -1000);
            ASSERT_EQ(d.filters.size(), 5u);
            EXPECT_STREQ(d.filters[4].name, "Halpha7n");
            EXPECT_EQ(d.filters[2].wheelPosition, 200);
            EXPECT_EQ(d.microstepCount, 4);
            EXPECT_EQ(d.microstepTable[3], 40);
        }
    }
    EXPECT_EQ(d.focuserPosition, 10000);
    EXPECT_EQ(d.filters.size(), 10u);  // as the wheel-only controller left it
    EXPECT_STREQ(d.filters[9].name, "Ten");
    EXPECT_EQ(d.currentFilter, -1);
}

TEST_F(Connection, AConfiguredPortIsTheOnlyOneTriedAndAConnectedDeviceStaysPut) {
    ScriptedPeer com2, com4;
    Link(2, com2.SlavePath());
    Link(4, com4.SlavePath());
    device->settings.ComPort = 3;  // no device
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(device->Connect());
    // An absent device costs no read time-out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
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
    EXPECT_TRUE(com2.WaitIdle(5000));
    EXPECT_TRUE(com4.Received().empty());
}

TEST_F(Connection, AFailedProbeClosesThePortAndLeavesTheImage) {
    ScriptedPeer shortRead, badCount, hangUp;
    // A configuration read cut short: the image the device held stays as it was, so a later
    // write cannot send a mixture of old and new bytes.
    shortRead.Expect("FWFILTER").Reply("1").Expect("FWfocus").Reply("\x01\x00"s);
    shortRead.Expect(kReadImage).Reply(Bytes(72, 9));
    // A wheel with a count of "0" is not this controller.
    badCount.Expect("FWFILTER").Reply("0").Expect("FWfocus").Reply("\x01\x00"s);
    badCount.Expect(kReadImage).Reply(ImageBytes(SampleImage())).Expect("FWCOUNT").Reply("0");
    hangUp.Expect("FWFILTER").HangUp();
    device->config.filterCount = 9;
    const std::pair<ScriptedPeer*, const char*> cases[] = {
        {&shortRead, "no answer"}, {&badCount, "no answer"}, {&hangUp, "the line was hung up"}};
    for (const auto& [peer, why] : cases) {
        if (peer == &badCount) EXPECT_EQ(device->config.filterCount, 9);
        device->settings.ComPort = 7;
        Link(7, peer->SlavePath());
        EXPECT_FALSE(device->Connect());
        EXPECT_EQ(device->failureReason,
                  "no controller found on COM7 (" + peer->SlavePath() + "): " + why);
        EXPECT_TRUE(device->port == nullptr && !device->wheelPresent && !device->focuserPresent);
        if (peer == &hangUp) continue;
        PortHandle again = OpenSerialPort(peer->SlavePath(), 9600);  // closed: free at once
        EXPECT_NE(again, nullptr);
        CloseSerialPort(again);
    }
    EXPECT_TRUE(shortRead.WaitIdle(5000) && badCount.WaitIdle(5000));
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
    ASSERT_TRUE(device->Connect());  // the search passes over COM1 and COM2
    EXPECT_EQ(device->portNumber, 3);
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
    EXPECT_EQ(reason.rfind("no controller found on " + inUse, 0), 0u) << reason;
    EXPECT_TRUE(held.Received().empty());  // nothing ever went to the port another holds
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
