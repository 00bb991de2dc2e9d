// SPDX-License-Identifier: GPL-3.0-or-later
// The ".fws" settings file: its bytes, and saving and loading through a device connected to a
// scripted controller.
#include "persist/SettingsFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <tuple>

#include "device/DeviceOnPeer.h"
#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "persist/SettingsFileCheck.h"
#include "platform/ManualTimerService.h"
#include "support/ScriptedPeer.h"
#include "support/TempDir.h"
#include "transport/SerialPort.h"

namespace kavri {
namespace {

using test::Bytes, test::ImageBytes;

// An image whose bytes all differ (but for the two counts), none of them 0x0A.
ControllerConfig SampleConfig() {
    ControllerConfig config{};
    for (size_t i = 0; i < kConfigSize; ++i)
        config.data()[i] = static_cast<uint8_t>(11 + i * 7 % 240);
    config.filterCount = 5;
    config.thermometerCount = 2;
    return config;
}

const SettingsBlock kSampleSettings{3, 2.5, 1, -500, 45000};

auto Fields(const SettingsBlock& s) {
    return std::tuple(s.ComPort, s.StepLenInMicrons, s.AscomPreferredTermometer, s.AscomFocusShift,
                      s.AscomMaxFocusPos);
}

// The records byte for byte, except that every 0x0A is stored as 0x0D 0x0A and read back as
// one 0x0A; a lone 0x0D, also as the very last byte, and 0x1A are ordinary bytes.
TEST(SettingsFileFormat, LayoutIsByteExactWithCrLfForEveryLineFeed) {
    const Bytes records = {0x41, 0x0A, 0x0D, 0x0A, 0x0D, 0x1A, 0x0A, 0x0D};
    SettingsFileWriter writer;
    writer.Write(records.data(), records.size());
    EXPECT_EQ(writer.Bytes(),
              (Bytes{0x41, 0x0D, 0x0A, 0x0D, 0x0D, 0x0A, 0x0D, 0x1A, 0x0D, 0x0A, 0x0D}));
    SettingsFileReader reader(writer.Bytes());
    Bytes read(records.size() + 1);
    EXPECT_EQ(reader.Read(read.data(), read.size()), records.size());
    read.pop_back();
    EXPECT_EQ(read, records);

    SettingsFileContents contents;
    contents.config = SampleConfig();
    contents.settings = kSampleSettings;
    contents.ChangeFilterTimeoutMs = 1500;
    const Bytes empty = FormatSettingsFile(contents);
    ASSERT_EQ(empty.size(), 184u);  // four empty names: four NUL bytes
    EXPECT_EQ(Bytes(empty.begin(), empty.begin() + kConfigSize), ImageBytes(contents.config));
    EXPECT_EQ(Bytes(empty.begin() + kConfigSize, empty.end()),
              (Bytes{3,    0,    0, 0, 0,    0,    0,    0,     // ComPort, reserved
                     0,    0,    0, 0, 0,    0,    0x04, 0x40,  // 2.5
                     1,    0,    0, 0, 0x0C, 0xFE, 0xFF, 0xFF,  // thermometer, shift -500
                     0xC8, 0xAF, 0, 0, 0,    0,    0,    0,     // 45000, reserved
                     0xDC, 0x05, 0, 0,                          // 1500 ms
                     0,    0,    0, 0}));                       // names

    contents.TermometerName[0] = "Mirror";
    contents.TermometerName[3] = "\xC2\xEE\xE7\xE4\xF3\xF5";  // "Воздух", windows-1251
    contents.config.focuserBacklash = 10;
    const Bytes named = FormatSettingsFile(contents);
    ASSERT_EQ(named.size(), 185u + 6 + 6);
    EXPECT_EQ(Bytes(named.begin() + 12, named.begin() + 15), (Bytes{0x0D, 0x0A, 0x00}));
    EXPECT_EQ(std::string(named.begin() + 181, named.begin() + 188), std::string("Mirror\0", 7));

    SettingsFileContents back;
    ASSERT_TRUE(ParseSettingsFile(named, back));
    EXPECT_EQ(ImageBytes(back.config), ImageBytes(contents.config));
    EXPECT_EQ(Fields(back.settings), Fields(contents.settings));
    EXPECT_EQ(back.ChangeFilterTimeoutMs, 1500);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(back.TermometerName[i], contents.TermometerName[i]);
    // A file ending inside the names keeps what was read; the rest are empty.
    ASSERT_TRUE(ParseSettingsFile(Bytes(named.begin(), named.begin() + 184), back));
    EXPECT_EQ(back.TermometerName[0], "Mir");
    EXPECT_EQ(back.TermometerName[3], "");
}

// Contents no writer stores are refused, naming the field; every value a writer can store
// passes: each field at the ends of what the controller, the dialogs (typed values included)
// and `kavrictl config` store.
TEST(SettingsFileCheck, RefusesWhatNoWriterStoresNamingTheField) {
    const auto edges = [](bool low) {
        return [low](SettingsFileContents& f) {
            std::memset(f.config.data(), low ? 0xFF : 0x00, kConfigSize);
            f.config.filterCount = low ? 1 : 10;
            f.config.thermometerCount = low ? 0 : 8;
            f.settings = {low ? 0 : 16, low ? -1e300 : 1e300, low ? 0 : 7,
                          low ? INT32_MIN : INT32_MAX, low ? INT32_MIN : INT32_MAX};
            f.ChangeFilterTimeoutMs = low ? INT32_MIN : INT32_MAX;
        };
    };
    const std::pair<std::function<void(SettingsFileContents&)>, std::string> cases[] = {
        {edges(true), ""},
        {edges(false), ""},
        {[](auto& f) { f.config.filterCount = 11; }, "filterCount 11"},
        {[](auto& f) { f.config.filterCount = 0; }, "filterCount 0"},
        {[](auto& f) { f.config.thermometerCount = 9; }, "thermometerCount 9"},
        {[](auto& f) { f.settings.ComPort = 17; }, "ComPort 17"},
        {[](auto& f) { f.settings.ComPort = -1; }, "ComPort -1"},
        {[](auto& f) { f.settings.AscomPreferredTermometer = 8; }, "AscomPreferredTermometer 8"},
        {[](auto& f) { f.settings.AscomPreferredTermometer = -1; }, "AscomPreferredTermometer -1"},
        {[](auto& f) { f.settings.StepLenInMicrons = INFINITY; }, "StepLenInMicrons inf"},
    };
    for (const auto& [change, problem] : cases) {
        SettingsFileContents contents;
        contents.config = SampleConfig();
        change(contents);
        EXPECT_EQ(SettingsFileProblem(contents), problem);
    }
}

class SettingsFileDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        device_.port = OpenSerialPort(peer_.SlavePath(), 9600);
        ASSERT_NE(device_.port, nullptr);
        device_.config = SampleConfig();
        device_.settings = kSampleSettings;
        device_.ChangeFilterTimeoutMs = 1200;
        device_.TermometerName[0] = "Main";
        device_.TermometerName[2] = "Outside";
    }

    std::string Write(const std::string& name, const Bytes& bytes) {
        test::WriteFileText(dir_.File(name), std::string(bytes.begin(), bytes.end()));
        return dir_.File(name);
    }
    // A file saved earlier, with other values than the device holds now.
    static Bytes OtherFile() {
        SettingsFileContents file;
        file.config = SampleConfig();
        file.config.focuserSpeed = 26;  // 0x1A
        file.settings = {7, 4.75, 2, 123, 20000};
        file.ChangeFilterTimeoutMs = 2500;
        file.TermometerName[0] = "Tube";
        return FormatSettingsFile(file);
    }

    // The device holds `config` and the five settings it began with; the file's time limit and
    // names when `namesTaken`, else its own.
    void ExpectHolds(const ControllerConfig& config, bool namesTaken) {
        EXPECT_EQ(ImageBytes(device_.config), ImageBytes(config));
        EXPECT_EQ(Fields(device_.settings), Fields(kSampleSettings));
        EXPECT_EQ(device_.ChangeFilterTimeoutMs, namesTaken ? 2500 : 1200);
        EXPECT_EQ(device_.TermometerName[0], namesTaken ? "Tube" : "Main");
        EXPECT_EQ(device_.TermometerName[2], namesTaken ? "" : "Outside");
    }

    test::ScriptedPeer peer_;
    test::TempDir dir_;
    MemorySettingsStore store_;
    ManualTimerService timers_;
    WheelFocuserDevice device_{store_, timers_};
};

TEST_F(SettingsFileDeviceTest, SaveThenLoadSendsTheImageTakesTheSettingsAndProbesAgain) {
    device_.config.focuserBacklash = 10;  // 0x0A in the records
    const ControllerConfig saved = device_.config;
    const std::string path = dir_.File("night.fws");
    ASSERT_TRUE(SaveSettingsFile(device_, path));
    device_.config = ControllerConfig{};
    device_.settings = SettingsBlock{};
    device_.ChangeFilterTimeoutMs = 1000;
    device_.TermometerName[0].clear();

    // The controller keeps a slightly different image than it was sent; the device must show
    // what the controller holds.
    ControllerConfig accepted = saved;
    accepted.filterCount = 3;
    peer_.Expect("FWwriteEE").Expect(Bytes{0, kConfigSize}).Expect(ImageBytes(saved)).Reply("!");
    peer_.Expect("FWFILTER").Reply("1");
    peer_.Expect("FWfocus").Reply(Bytes{0x10, 0x27});
    peer_.Expect("FWreadEE").Expect(Bytes{0, kConfigSize}).Reply(ImageBytes(accepted));
    peer_.Expect("FWCOUNT").Reply("3");
    peer_.Expect("FWzm").Reply(Bytes{0});
    EXPECT_TRUE(LoadSettingsFile(device_, path));
    EXPECT_TRUE(peer_.WaitIdle(5000));
    EXPECT_FALSE(device_.busy);
    ExpectHolds(accepted, false);
    EXPECT_EQ(device_.filters.size(), 3u);
    EXPECT_EQ(device_.focuserPosition, 10000);
}

// A load the controller does not take (refused, unanswered, busy with another exchange,
// closed) fails after taking the file's time limit and names, and nothing else.
TEST_F(SettingsFileDeviceTest, ALoadTheControllerDoesNotTakeChangesOnlyTheLimitAndNames) {
    const Bytes file = OtherFile();
    const std::string path = Write("other.fws", file);
    const Bytes image(file.begin(), file.begin() + kConfigSize);  // no 0x0A in it
    const auto loadFails = [&] {
        EXPECT_FALSE(LoadSettingsFile(device_, path));
        EXPECT_TRUE(peer_.WaitIdle(5000));
        ExpectHolds(SampleConfig(), true);
        device_.ChangeFilterTimeoutMs = 1200;
        device_.TermometerName[0] = "Main";
        device_.TermometerName[2] = "Outside";
    };
    peer_.Expect("FWwriteEE").Expect(Bytes{0, kConfigSize}).Expect(image).Reply("?");
    loadFails();
    EXPECT_FALSE(device_.busy);

    // A late "!" of an earlier exchange waits in the line: it is discarded before the write,
    // which then gives up after its time limit of one second.
    peer_.Reply("!");
    ASSERT_TRUE(peer_.WaitIdle(5000));
    peer_.Expect("FWwriteEE").Expect(Bytes{0, kConfigSize}).Expect(image);
    const auto start = std::chrono::steady_clock::now();
    loadFails();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(950));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
    EXPECT_FALSE(device_.busy);

    const size_t sent = peer_.Received().size();
    device_.busy = true;
    loadFails();
    EXPECT_TRUE(device_.busy);  // the other exchange still owns the flag
    device_.busy = false;
    device_.Disconnect();
    loadFails();
    EXPECT_EQ(peer_.Received().size(), sent);
}

// Files refused before anything reaches the device, each with the reason the user is shown.
TEST_F(SettingsFileDeviceTest, FilesThatAreNoSettingsFileAreRefusedWithNothingSentOrChanged) {
    ASSERT_EQ(mkfifo(dir_.File("pipe.fws").c_str(), 0600), 0);
    std::string readme = "# Kavri Control\n\nControl software for the filter wheel.\n";
    while (readme.size() < 600) readme += readme;
    const std::string no = "not a settings file: ";
    const std::pair<std::string, std::string> cases[] = {
        {Write("a", Bytes(179, 0)), no + "179 bytes, too short"},
        {Write("b", Bytes(readme.begin(), readme.end())), no + "filterCount 32"},
        {Write("d", Bytes(9000, 0)), no + "longer than 8552 bytes"},
        {"/dev/zero", "not a regular file"},
        {dir_.Path(), "not a regular file"},
        {dir_.File("pipe.fws"), "not a regular file"},
        {dir_.File("missing.fws"), "No such file or directory"},
    };
    for (const auto& [path, reason] : cases) {
        std::string refusal;
        EXPECT_FALSE(LoadSettingsFile(device_, path, &refusal));
        EXPECT_EQ(refusal, reason);
    }
    peer_.ExpectQuiet(200);
    EXPECT_TRUE(peer_.WaitIdle(5000));
    EXPECT_TRUE(peer_.Received().empty());
    ExpectHolds(SampleConfig(), false);
}

}  // namespace
}  // namespace kavri
