// SPDX-License-Identifier: GPL-3.0-or-later
// Ports, connecting and the device's life: COM numbers to devices and the per-user
// directories, which ports are tried, the probe, what a failed probe leaves, unusable ports, the
// log file, settings and timer of the device, and the clients sharing one connection.
#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "device/DeviceOnPeer.h"
#include "persist/RegistrySettings.h"
#include "platform/DataDirectory.h"
#include "support/TempDir.h"
#include "transport/PortNaming.h"
#include "transport/UucpLock.h"

namespace kavri::test {
namespace {

namespace fs = std::filesystem;

TEST(PortNaming, DefaultsAndLinks) {
    TempDir temp;
    const fs::path ports = fs::path(temp.Path()) / "kavri" / "ports";
    fs::create_directories(ports);
    fs::create_symlink("/dev/null", ports / "com5");
    // A dangling link still decides the port: it must not fall back to /dev/ttyACM1.
    fs::create_symlink(temp.File("gone"), ports / "com6");
    ASSERT_EQ(setenv("XDG_CONFIG_HOME", temp.Path().c_str(), 1), 0);
    const PortNaming naming = PortNaming::FromEnvironment();
    std::string devices;  // 0 and 17 are no COM numbers
    for (int number = 0; number <= 17; ++number) devices += naming.DevicePath(number) + ",";
    const std::string links = (ports / "com5").string() + "," + (ports / "com6").string() + ",";
    EXPECT_EQ(devices, ",/dev/ttyUSB0,/dev/ttyUSB1,/dev/ttyUSB2,/dev/ttyUSB3," + links +
                           "/dev/ttyACM2,/dev/ttyACM3,/dev/ttyS0,/dev/ttyS1,/dev/ttyS2,"
                           "/dev/ttyS3,/dev/ttyS4,/dev/ttyS5,/dev/ttyS6,/dev/ttyS7,,");
    EXPECT_EQ(naming.Label(5), "COM5 (/dev/null)");
    EXPECT_FALSE(naming.Describe(6).exists);
}

TEST(DataDirectory, XdgVariablesWithHomeFallback) {
    std::map<std::string, std::string> vars = {{"HOME", "/h"}};
    const EnvironmentLookup env = [&](const std::string& name) -> std::optional<std::string> {
        const auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional(it->second);
    };
    const auto both = [&] {
        return KavriConfigDirectory(env).string() + " " + KavriDataDirectory(env).string();
    };
    EXPECT_EQ(both(), "/h/.config/kavri /h/.local/share/kavri");
    vars = {{"HOME", "/h"}, {"XDG_CONFIG_HOME", "/etc/x"}, {"XDG_DATA_HOME", "/srv"}};
    EXPECT_EQ(both(), "/etc/x/kavri /srv/kavri");
    // Empty or relative values are no usable locations.
    vars = {{"HOME", "/h"}, {"XDG_CONFIG_HOME", ""}, {"XDG_DATA_HOME", "rel/dir"}};
    EXPECT_EQ(both(), "/h/.config/kavri /h/.local/share/kavri");
    vars = {{"HOME", "rel/home"}};  // the home then comes from the password database
    EXPECT_EQ(KavriDataDirectory(env), fs::path(getpwuid(getuid())->pw_dir) / ".local/share/kavri");
    vars = {};  // as it does without any
    EXPECT_EQ(KavriConfigDirectory(env), fs::path(getpwuid(getuid())->pw_dir) / ".config/kavri");
}

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
        Link(4, peer->SlavePath());
        peer->ExpectQuiet(50);
        ASSERT_TRUE(d.Connect());
        ASSERT_TRUE(peer->WaitIdle(5000));
        EXPECT_EQ(d.wheelPresent, peer != &focuserOnly);
        EXPECT_EQ(d.focuserPresent, peer != &wheelOnly);
        EXPECT_EQ(ImageBytes(d.config), ImageBytes(SampleImage()));
        EXPECT_TRUE(peer != &wheelOnly || d.focuserPosition == -1000);  // kept for display
        if (peer == &both) {
            EXPECT_EQ(d.currentFilter, 3);
            EXPECT_EQ(d.focuserPosition, -1000);
            ASSERT_EQ(d.filters.size(), 5u);
            EXPECT_STREQ(d.filters[4].name, "Halpha7n");
        }
    }
    EXPECT_EQ(d.focuserPosition, 10000);
    EXPECT_EQ(d.filters.size(), 10u);  // as the wheel-only controller left it
    EXPECT_STREQ(d.filters[9].name, "Ten");
}

TEST_F(Connection, AConfiguredPortIsTheOnlyOneTriedAndAConnectedDeviceStaysPut) {
    ScriptedPeer com2, com4;
    Link(2, com2.SlavePath());
    Link(4, com4.SlavePath());
    device->settings.ComPort = 3;  // no device
    // An absent device costs no read time-out.
    EXPECT_LT(MsTaken([&] { EXPECT_FALSE(device->Connect()); }), 150);
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
        EXPECT_TRUE(peer != &badCount || device->config.filterCount == 9);  // after the short read
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

// A stray byte before an answer (USB adapters send one when they are opened) is no reason to
// give up or to take a wrong answer: the probe waits for the line to fall silent and runs once
// more. A line garbled twice fails the probe; a silent port is asked once (no second probe).
TEST_F(Connection, AStrayByteMakesTheProbeRunOnceMore) {
    const auto strayBeforeFilter = [](ScriptedPeer& peer) {
        peer.Expect("FWFILTER").Reply(Bytes{0xA5, '3'}).Expect("FWfocus").Reply(Bytes{0x18, 0xFC});
        peer.Expect(kReadImage).Reply(ImageBytes(SampleImage()));
    };
    ScriptedPeer beforeFilter, beforePosition, twice, silent;
    strayBeforeFilter(beforeFilter);
    ScriptFullProbe(beforeFilter);
    beforePosition.Expect("FWFILTER").Reply("3").Expect("FWfocus").Reply(Bytes{0xA5, 0x18, 0xFC});
    beforePosition.Expect(kReadImage).Reply(ImageBytes(SampleImage())).Expect("FWCOUNT").Reply("5");
    ScriptFullProbe(beforePosition);
    strayBeforeFilter(twice);
    strayBeforeFilter(twice);
    const std::tuple<ScriptedPeer*, const char*, size_t> cases[] = {
        {&beforeFilter, "", 1},
        {&beforePosition, "", 1},
        {&twice, "garbled answers, twice", 1},
        {&silent, "no answer", 0}};
    device->settings.ComPort = 6;
    for (const auto& [peer, why, retries] : cases) {
        sinkLines.clear();
        device->Disconnect();
        Link(6, peer->SlavePath());
        EXPECT_EQ(device->Connect(), *why == '\0') << why;
        EXPECT_TRUE(peer->WaitIdle(5000));
        EXPECT_EQ(LinesWith("probing again").size(), retries);
        EXPECT_NE(device->failureReason.find(why), std::string::npos) << device->failureReason;
        if (*why != '\0') continue;
        EXPECT_EQ(std::tuple(device->wheelPresent, device->focuserPresent, device->currentFilter,
                             device->focuserPosition),
                  std::tuple(true, true, 3, -1000));
    }
}

TEST_F(Connection, PortsThatCannotBeUsedAreLeftUntouchedAndEachConnectionStartsTheLogAfresh) {
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
    EXPECT_EQ(sinkLines[1].rfind(notPort, 0), 0u) << sinkLines[1];
    device->Disconnect();

    // Without a controller the search names every port that exists and why it was passed
    // over; a configured port says why it failed.
    Link(3, dir_.File("absent"));
    EXPECT_FALSE(device->Connect());
    const std::string& reason = device->failureReason;
    EXPECT_EQ(reason.rfind("no controller found on any of COM1..COM16; " + inUse, 0), 0u) << reason;
    EXPECT_NE(reason.find("; " + notPort), std::string::npos) << reason;
    EXPECT_TRUE(held.Received().empty());  // nothing ever went to the port another holds
    SetUucpLockDirectory(std::nullopt);
    // Each connection starts the log file afresh, and needs none.
    device->LogFile = dir_.File("session.log");
    WriteFileText(device->LogFile, "left over from last night\r\n");
    Link(1, peer.SlavePath());
    ScriptFullProbe(peer);
    ASSERT_TRUE(device->Connect());
    EXPECT_EQ(ReadFileText(device->LogFile), "");  // emptied; the probe logs nothing
    device->Disconnect();
    device->LogFile = dir_.File("session.log/below-a-file.log");  // cannot be created
    ScriptFullProbe(peer);
    EXPECT_TRUE(device->Connect());
    EXPECT_FALSE(device->log.HasFile());
    EXPECT_TRUE(peer.WaitIdle(5000));
}

// Records the timer's start and stop, and what the settings were at those moments.
struct ObservedTimers : TimerService {
    int StartTimer(int id, int intervalMs, Callback) override {
        started = {id, intervalMs, activeDevice->settings.ComPort};
        return 42;
    }
    void StopTimer(int id) override { stopped = {id, store->ValueNames(DriverKey).size()}; }
    MemorySettingsStore* store = nullptr;
    std::tuple<int, int, int> started;     // id, interval, ComPort of the active device then
    std::pair<int, size_t> stopped{0, 0};  // id, settings saved by then
};

TEST(DeviceLife, SettingsLoadBeforeTheTimerStartsAndSaveBeforeItStops) {
    MemorySettingsStore store;
    store.SetValue(DriverKey, "ComPort", SettingsValue::Dword(3));
    ObservedTimers timers;
    timers.store = &store;
    {
        WheelFocuserDevice device(store, timers);
        EXPECT_EQ(timers.started, std::make_tuple(15, 5000, 3));
        device.settings.ComPort = 6;
    }
    EXPECT_EQ(activeDevice, nullptr);
    EXPECT_EQ(timers.stopped.first, 42);
    EXPECT_GT(timers.stopped.second, 1u);
    SettingsValue value;
    ASSERT_TRUE(store.QueryValue(DriverKey, "ComPort", value));
    EXPECT_EQ(value.data, (std::vector<uint8_t>{6, 0, 0, 0}));
}

using ClientSet = DeviceOnPeer;

const void* Client(uintptr_t id) {
    return reinterpret_cast<const void*>(id);
}

TEST_F(ClientSet, TheFirstClientConnectsAndTheLastOneLeavingDisconnects) {
    ASSERT_TRUE(device->OpenFile(dir_.File("diag.log")));
    EXPECT_TRUE(device->ConnectMulti(Client(0x7ffdABCD0010ull)));  // connected: nothing to do
    EXPECT_TRUE(device->ConnectMulti(Client(0x1a2b)));
    EXPECT_TRUE(device->ConnectMulti(Client(0x1a2b)));  // already a member
    device->DisconnectMulti(Client(0x99));              // not a member
    device->DisconnectMulti(Client(0x7ffdABCD0010ull));
    EXPECT_NE(device->port, nullptr);
    device->DisconnectMulti(Client(0x1a2b));
    EXPECT_EQ(device->port, nullptr);
    device->DisconnectMulti(Client(0x1a2b));  // port closed: nothing at all
    // A port opened without any client: a non-member leaving closes it.
    ASSERT_NE(device->port = OpenSerialPort(peer.SlavePath(), 9600), nullptr);
    device->DisconnectMulti(Client(0x99));
    EXPECT_EQ(device->port, nullptr);
    // A failed connection logs the attempt and the reason, and joins nobody.
    device->settings.ComPort = 3;
    EXPECT_FALSE(device->ConnectMulti(Client(0xc3)));
    EXPECT_TRUE(device->Clients().empty());
    std::string lines;
    for (const std::string& line : sinkLines) lines += line;
    EXPECT_EQ(lines,
              "ConnectMulti(0x7ffdabcd0010) = connect\r\nConnectMulti(0x1a2b) = skip\r\n"
              "ConnectMulti(0x1a2b) = skip\r\nDisconnectMulti(0x99) = skip\r\n"
              "DisconnectMulti(0x7ffdabcd0010) = skip\r\n"
              "DisconnectMulti(0x1a2b) = Disconnect\r\nDisconnectMulti(0x99) = Disconnect\r\n"
              "ConnectMulti(0xc3) = connect\r\nno controller found on COM3 (" +
                  dir_.File("absent") + "): no such device\r\n");
    // The file records the disconnection.
    EXPECT_NE(ReadFileText(dir_.File("diag.log")).find("DisconnectMulti(0x1a2b) = Disconnect"),
              std::string::npos);
}

}  // namespace
}  // namespace kavri::test
