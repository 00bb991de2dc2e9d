#include "persist/SettingsFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "device/ManualTimerService.h"
#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "persist/SettingsFileCheck.h"
#include "sim/Emulator.h"
#include "support/ScriptedPeer.h"
#include "support/TempDir.h"
#include "transport/SerialPort.h"

namespace kavri {
namespace {

using test::Bytes;
using test::ScriptedPeer;
using test::TempDir;

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Bytes ConfigBytes(const ControllerConfig& config) {
    return Bytes(config.data(), config.data() + kConfigSize);
}

// An image without any 0x0A byte, with values in most fields.
ControllerConfig SampleConfig() {
    ControllerConfig config{};
    config.filterCount = 5;
    config.wheelSpeed = 300;
    config.wheelStepMode = 2;
    config.focuserSpeed = 200;
    config.focuserBacklash = 25;
    config.thermometerCount = 2;
    config.thermoCompStepsPerDegree = -12;
    for (int i = 0; i < kConfigFilterSlots; ++i) {
        config.filterWheelPositions[i] = static_cast<int16_t>(100 * i + 1);
        config.filterFocuserPositions[i] = static_cast<int16_t>(-3 * i - 1);
    }
    std::memcpy(config.filterNames[0], "Red", 3);
    std::memcpy(config.filterNames[1], "Luminanc", 8);
    config.maxStepsBetweenFilters = 900;
    return config;
}

SettingsBlock SampleSettings() {
    SettingsBlock settings;
    settings.ComPort = 3;
    settings.StepLenInMicrons = 2.5;
    settings.AscomPreferredTermometer = 1;
    settings.AscomFocusShift = -500;
    settings.AscomMaxFocusPos = 45000;
    return settings;
}

void ExpectSameSettings(const SettingsBlock& a, const SettingsBlock& b) {
    EXPECT_EQ(a.ComPort, b.ComPort);
    EXPECT_EQ(a.StepLenInMicrons, b.StepLenInMicrons);
    EXPECT_EQ(a.AscomPreferredTermometer, b.AscomPreferredTermometer);
    EXPECT_EQ(a.AscomFocusShift, b.AscomFocusShift);
    EXPECT_EQ(a.AscomMaxFocusPos, b.AscomMaxFocusPos);
}

// The line-end encoding and the string records, independent of any device.
TEST(SettingsFileFormat, LineFeedsAreStoredAsCrLfAndReadBack) {
    SettingsFileWriter writer;
    const Bytes records = {0x41, 0x0A, 0x0D, 0x0A, 0x0D, 0x1A, 0x0A};
    writer.Write(records.data(), records.size());
    EXPECT_EQ(writer.Bytes(), (Bytes{0x41, 0x0D, 0x0A, 0x0D, 0x0D, 0x0A, 0x0D, 0x1A, 0x0D, 0x0A}));

    SettingsFileReader reader(writer.Bytes());
    Bytes back(records.size());
    EXPECT_EQ(reader.Read(back.data(), back.size()), records.size());
    EXPECT_EQ(back, records);
    uint8_t extra = 0;
    EXPECT_FALSE(reader.ReadByte(extra));

    // A lone CR stays a CR, also as the very last byte; a bare LF stays an LF.
    SettingsFileReader lone(Bytes{0x0D, 0x41, 0x0A, 0x0D});
    Bytes got(8);
    EXPECT_EQ(lone.Read(got.data(), got.size()), 4u);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 4), (Bytes{0x0D, 0x41, 0x0A, 0x0D}));
}

TEST(SettingsFileFormat, StringsStopAtNulEndOfFileOrTheReadLimit) {
    // A name longer than the limit: 1024 characters are consumed and 1023 kept, and the rest
    // of it becomes the next record.
    Bytes file(1030, 'A');
    file.push_back(0);
    for (char c : std::string("B\0C\0tail", 8)) file.push_back(static_cast<uint8_t>(c));
    SettingsFileReader reader(file);
    std::string text;
    EXPECT_TRUE(ReadFileString(reader, text));
    EXPECT_EQ(text, std::string(1023, 'A'));
    ReadFileString(reader, text);
    EXPECT_EQ(text, "AAAAAA");
    ReadFileString(reader, text);
    EXPECT_EQ(text, "B");
    ReadFileString(reader, text);
    EXPECT_EQ(text, "C");
    ReadFileString(reader, text);
    EXPECT_EQ(text, "tail");  // ended by the end of the file
    EXPECT_TRUE(ReadFileString(reader, text));
    EXPECT_EQ(text, "");

    SettingsFileWriter writer;
    WriteFileString(writer, "");
    WriteFileString(writer, "T\n1");
    EXPECT_EQ(writer.Bytes(), (Bytes{0, 'T', 0x0D, 0x0A, '1', 0}));
}

TEST(SettingsFileFormat, LayoutIsByteExact) {
    SettingsFileContents contents;
    contents.config = SampleConfig();
    contents.settings = SampleSettings();
    contents.ChangeFilterTimeoutMs = 1500;
    const Bytes empty = FormatSettingsFile(contents);
    ASSERT_EQ(empty.size(), 184u);
    EXPECT_EQ(Bytes(empty.begin(), empty.begin() + kConfigSize), ConfigBytes(contents.config));
    const Bytes block(empty.begin() + 144, empty.begin() + 176);
    EXPECT_EQ(block, (Bytes{3,    0,    0, 0, 0,    0,    0,    0,     // ComPort, reserved
                            0,    0,    0, 0, 0,    0,    0x04, 0x40,  // 2.5
                            1,    0,    0, 0, 0x0C, 0xFE, 0xFF, 0xFF,  // thermometer, shift −500
                            0xC8, 0xAF, 0, 0, 0,    0,    0,    0}));  // 45000, reserved
    EXPECT_EQ(Bytes(empty.begin() + 176, empty.end()), (Bytes{0xDC, 0x05, 0, 0, 0, 0, 0, 0}));

    contents.TermometerName[0] = "Mirror";
    contents.TermometerName[3] = "\xD0\x92\xD0\xBE\xD0\xB7\xD0\xB4\xD1\x83\xD1\x85";  // "Воздух"
    contents.config.focuserBacklash = 10;
    const Bytes named = FormatSettingsFile(contents);
    ASSERT_EQ(named.size(), 185u + 6 + 12);
    EXPECT_EQ(named[12], 0x0D);
    EXPECT_EQ(named[13], 0x0A);
    EXPECT_EQ(named[14], 0x00);

    SettingsFileContents back;
    ASSERT_TRUE(ParseSettingsFile(named, back));
    EXPECT_EQ(ConfigBytes(back.config), ConfigBytes(contents.config));
    EXPECT_EQ(back.config.focuserBacklash, 10);
    ExpectSameSettings(back.settings, contents.settings);
    EXPECT_EQ(back.ChangeFilterTimeoutMs, 1500);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(back.TermometerName[i], contents.TermometerName[i]);
}

TEST(SettingsFileFormat, ShortFilesAndLongNames) {
    SettingsFileContents contents;
    contents.config = SampleConfig();
    contents.TermometerName[0] = "ab";
    contents.TermometerName[1] = "cd";
    const Bytes full = FormatSettingsFile(contents);

    SettingsFileContents back;
    back.ChangeFilterTimeoutMs = 77;
    EXPECT_FALSE(ParseSettingsFile(Bytes(full.begin(), full.begin() + 179), back));
    EXPECT_EQ(back.ChangeFilterTimeoutMs, 77);  // nothing taken from a file cut that early
    // Ending inside the names: what was read stands, the rest are empty.
    ASSERT_TRUE(ParseSettingsFile(Bytes(full.begin(), full.begin() + 180 + 4), back));
    EXPECT_EQ(back.TermometerName[0], "ab");
    EXPECT_EQ(back.TermometerName[1], "c");
    EXPECT_EQ(back.TermometerName[2], "");

    // A name too long to read back as one record is cut on save, so the ones after it keep
    // their place.
    contents.TermometerName[0] = std::string(1500, 'x');
    ASSERT_TRUE(ParseSettingsFile(FormatSettingsFile(contents), back));
    EXPECT_EQ(back.TermometerName[0], std::string(kFileStringMaxLength, 'x'));
    EXPECT_EQ(back.TermometerName[1], "cd");
}

// Loading and saving through a device connected to a scripted controller.
class SettingsFileDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        device_.port = OpenSerialPort(peer_.SlavePath(), 9600);
        ASSERT_NE(device_.port, nullptr);
        device_.config = SampleConfig();
        device_.settings = SampleSettings();
        device_.ChangeFilterTimeoutMs = 1200;
        device_.TermometerName[0] = "Main";
        device_.TermometerName[2] = "Outside";
    }

    // The file a user saved earlier, with other values than the device holds now.
    SettingsFileContents FileContents() const {
        SettingsFileContents file;
        file.config = SampleConfig();
        file.config.focuserBacklash = 10;  // 0x0A in the records
        file.config.focuserSpeed = 26;     // 0x1A
        file.config.filterCount = 3;
        file.settings.ComPort = 7;
        file.settings.StepLenInMicrons = 4.75;
        file.settings.AscomPreferredTermometer = 2;
        file.settings.AscomFocusShift = 123;
        file.settings.AscomMaxFocusPos = 20000;
        file.ChangeFilterTimeoutMs = 2500;
        file.TermometerName[0] = "Tube";
        file.TermometerName[1] = "Dew";
        return file;
    }

    std::string WriteSettingsFile(const SettingsFileContents& contents) {
        const std::string path = dir_.File("saved.fws");
        WriteFile(path, FormatSettingsFile(contents));
        return path;
    }

    void ExpectImageWrite(const ControllerConfig& config) {
        peer_.Expect("FWwriteEE").Expect(Bytes{0, kConfigSize}).Expect(ConfigBytes(config));
    }

    // What the device holds before a load, to check what a failed load leaves alone.
    void ExpectConfigAndSettingsUnchanged() {
        EXPECT_EQ(ConfigBytes(device_.config), ConfigBytes(SampleConfig()));
        ExpectSameSettings(device_.settings, SampleSettings());
    }

    ScriptedPeer peer_;
    TempDir dir_;
    MemorySettingsStore store_;
    ManualTimerService timers_;
    WheelFocuserDevice device_{store_, timers_};
};

TEST_F(SettingsFileDeviceTest, LoadSendsTheImageTakesTheSettingsAndProbesAgain) {
    const SettingsFileContents file = FileContents();
    const std::string path = WriteSettingsFile(file);
    // The controller keeps a slightly different image than it was sent; the device must show
    // what the controller holds.
    ControllerConfig accepted = file.config;
    accepted.maxStepsBetweenFilters = 777;
    ExpectImageWrite(file.config);
    peer_.Reply("!");
    peer_.Expect("FWFILTER").Reply("1");
    peer_.Expect("FWfocus").Reply(Bytes{0x10, 0x27});
    peer_.Expect("FWreadEE").Expect(Bytes{0, kConfigSize}).Reply(ConfigBytes(accepted));
    peer_.Expect("FWCOUNT").Reply("3");
    peer_.Expect("FWzm").Reply(Bytes{0});

    EXPECT_TRUE(LoadSettingsFile(device_, path));
    EXPECT_TRUE(peer_.WaitIdle(5000));
    EXPECT_FALSE(device_.busy);
    EXPECT_EQ(ConfigBytes(device_.config), ConfigBytes(accepted));
    ExpectSameSettings(device_.settings, file.settings);
    EXPECT_EQ(device_.ChangeFilterTimeoutMs, 2500);
    EXPECT_EQ(device_.TermometerName[0], "Tube");
    EXPECT_EQ(device_.TermometerName[1], "Dew");
    EXPECT_EQ(device_.TermometerName[2], "");
    EXPECT_EQ(device_.filters.size(), 3u);
    EXPECT_EQ(device_.focuserPosition, 10000);
}

TEST_F(SettingsFileDeviceTest, RefusedOrUnansweredWriteFailsAfterTakingLimitAndNames) {
    const SettingsFileContents file = FileContents();
    const std::string path = WriteSettingsFile(file);
    ExpectImageWrite(file.config);
    peer_.Reply("?");
    EXPECT_FALSE(LoadSettingsFile(device_, path));
    EXPECT_TRUE(peer_.WaitIdle(5000));
    ExpectConfigAndSettingsUnchanged();
    EXPECT_EQ(device_.ChangeFilterTimeoutMs, 2500);
    EXPECT_EQ(device_.TermometerName[1], "Dew");
    EXPECT_EQ(device_.TermometerName[2], "");
    EXPECT_FALSE(device_.busy);

    // No answer at all: the write gives up after its time limit.
    ExpectImageWrite(file.config);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(LoadSettingsFile(device_, path));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::seconds(10));
    EXPECT_TRUE(peer_.WaitIdle(5000));
    ExpectConfigAndSettingsUnchanged();
    EXPECT_FALSE(device_.busy);
}

TEST_F(SettingsFileDeviceTest, BusyOrClosedPortFailsWithNothingSentButLimitAndNamesTaken) {
    const std::string path = WriteSettingsFile(FileContents());
    device_.busy = true;
    EXPECT_FALSE(LoadSettingsFile(device_, path));
    EXPECT_TRUE(device_.busy);  // the other exchange still owns the flag
    EXPECT_EQ(device_.ChangeFilterTimeoutMs, 2500);
    EXPECT_EQ(device_.TermometerName[0], "Tube");
    ExpectConfigAndSettingsUnchanged();
    device_.busy = false;

    device_.ChangeFilterTimeoutMs = 1200;
    device_.TermometerName[0] = "Main";
    device_.Disconnect();
    EXPECT_FALSE(LoadSettingsFile(device_, path));
    EXPECT_EQ(device_.ChangeFilterTimeoutMs, 2500);
    EXPECT_EQ(device_.TermometerName[0], "Tube");
    ExpectConfigAndSettingsUnchanged();
    EXPECT_TRUE(peer_.Received().empty());
}

// Whatever a writer of settings files can store passes the check: every field at the ends of
// what the controller, the dialogs (typed values included) and `kavrictl config` store.
TEST(SettingsFileCheck, AcceptsEveryValueAWriterCanStore) {
    for (const int low : {0, 1}) {
        SCOPED_TRACE(low);
        SettingsFileContents contents;
        std::memset(contents.config.data(), low ? 0xFF : 0x00, kConfigSize);
        contents.config.filterCount = low ? 1 : 10;
        contents.config.thermometerCount = low ? 0 : 8;
        contents.settings.ComPort = low ? 0 : 16;
        contents.settings.AscomPreferredTermometer = low ? 0 : 7;
        contents.settings.StepLenInMicrons = low ? -1e300 : 1e300;
        contents.settings.AscomFocusShift = low ? INT32_MIN : INT32_MAX;
        contents.settings.AscomMaxFocusPos = low ? INT32_MIN : INT32_MAX;
        contents.ChangeFilterTimeoutMs = low ? INT32_MIN : INT32_MAX;
        EXPECT_EQ(SettingsFileProblem(contents), "");
    }
}

// Files refused before anything reaches the device: each with the reason the user is shown.
TEST_F(SettingsFileDeviceTest, FilesThatAreNoSettingsFileAreRefusedWithNothingSentOrChanged) {
    const std::string fifo = dir_.File("pipe.fws");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto withConfig = [this](auto change) {
        SettingsFileContents file = FileContents();
        change(file);
        return FormatSettingsFile(file);
    };
    std::string readme = "# Kavri Control\n\nControl software for the filter wheel.\n";
    while (readme.size() < 600) readme += readme;
    const Bytes good = FormatSettingsFile(FileContents());
    const struct {
        Bytes bytes;  // written to a file of the test's directory, unless `path` is given
        std::string path;
        const char* reason;
    } cases[] = {
        {Bytes(good.begin(), good.begin() + 179), "", "not a settings file: 179 bytes, too short"},
        {Bytes(readme.begin(), readme.end()), "", "not a settings file: filterCount 32"},
        {withConfig([](auto& f) { f.config.filterCount = 101; }), "",
         "not a settings file: filterCount 101"},
        {withConfig([](auto& f) { f.config.filterCount = 0; }), "",
         "not a settings file: filterCount 0"},
        {withConfig([](auto& f) { f.config.thermometerCount = 9; }), "",
         "not a settings file: thermometerCount 9"},
        {withConfig([](auto& f) { f.settings.ComPort = 17; }), "",
         "not a settings file: ComPort 17"},
        {withConfig([](auto& f) { f.settings.AscomPreferredTermometer = -1; }), "",
         "not a settings file: AscomPreferredTermometer -1"},
        {withConfig([](auto& f) { f.settings.StepLenInMicrons = INFINITY; }), "",
         "not a settings file: StepLenInMicrons inf"},
        {Bytes(9000, 0), "", "not a settings file: longer than 8552 bytes"},
        {{}, "/dev/zero", "not a regular file"},
        {{}, dir_.Path(), "not a regular file"},
        {{}, fifo, "not a regular file"},
        {{}, dir_.File("missing.fws"), "No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        std::string path = c.path;
        if (path.empty()) {
            path = dir_.File("refused.fws");
            WriteFile(path, c.bytes);
        }
        std::string reason;
        EXPECT_FALSE(LoadSettingsFile(device_, path, &reason));
        EXPECT_EQ(reason, c.reason);
    }
    peer_.ExpectQuiet(200);
    EXPECT_TRUE(peer_.WaitIdle(5000));
    EXPECT_TRUE(peer_.Received().empty());
    EXPECT_EQ(device_.ChangeFilterTimeoutMs, 1200);
    EXPECT_EQ(device_.TermometerName[0], "Main");
    ExpectConfigAndSettingsUnchanged();
}

TEST_F(SettingsFileDeviceTest, SaveWritesTheDeviceStateAndAFailedSaveKeepsTheOldFile) {
    const std::string path = dir_.File("night.fws");
    ASSERT_TRUE(SaveSettingsFile(device_, path));
    SettingsFileContents saved;
    ASSERT_TRUE(ParseSettingsFile(ReadFile(path), saved));
    EXPECT_EQ(ConfigBytes(saved.config), ConfigBytes(device_.config));
    ExpectSameSettings(saved.settings, device_.settings);
    EXPECT_EQ(saved.ChangeFilterTimeoutMs, 1200);
    EXPECT_EQ(saved.TermometerName[0], "Main");
    EXPECT_EQ(saved.TermometerName[2], "Outside");
    const Bytes before = ReadFile(path);

    // The disk fills part-way through the new file.
    device_.TermometerName[1] = std::string(900, 'n');
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 512;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved2 = SaveSettingsFile(device_, path);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved2);
    EXPECT_EQ(ReadFile(path), before);

    EXPECT_FALSE(SaveSettingsFile(device_, path + "/below.fws"));
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_FALSE(SaveSettingsFile(device_, dir_.Path()));
    EXPECT_TRUE(std::filesystem::is_directory(dir_.Path()));
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
}

// Save and load against the emulated controller: the image makes the whole trip through the
// file and the line and comes back as the controller holds it.
TEST(SettingsFileEmulatorTest, SaveThenLoadRoundTrips) {
    sim::EmulatorOptions options;
    options.fast = true;
    sim::Emulator emulator(options);
    std::string error;
    ASSERT_TRUE(emulator.Start(&error)) << error;
    TempDir dir;
    MemorySettingsStore store;
    ManualTimerService timers;
    WheelFocuserDevice device(store, timers);
    device.port = OpenSerialPort(emulator.SlavePath(), 9600);
    ASSERT_NE(device.port, nullptr);
    ASSERT_TRUE(device.Probe());

    device.config.focuserBacklash = 10;
    device.config.focuserSpeed = 26;
    device.settings = SampleSettings();
    device.ChangeFilterTimeoutMs = 900;
    // Names as the Windows software stores them: windows-1251 bytes ("Красный").
    const std::string red = "\xCA\xF0\xE0\xF1\xED\xFB\xE9";
    std::memcpy(device.config.filterNames[0], red.data(), red.size());
    device.TermometerName[1] = red;
    const Bytes savedImage = ConfigBytes(device.config);
    const std::string path = dir.File("night.fws");
    ASSERT_TRUE(SaveSettingsFile(device, path));

    // Everything changes after the save, in the device and in the controller.
    sim::Image other = emulator.GetImage();
    other[sim::offset::kFocuserBacklash] = 99;
    emulator.SetImage(other);
    device.config.focuserBacklash = 1;
    device.settings = SettingsBlock{};
    device.ChangeFilterTimeoutMs = 1000;
    device.TermometerName[1].clear();

    ASSERT_TRUE(LoadSettingsFile(device, path));
    const sim::Image held = emulator.GetImage();
    EXPECT_EQ(Bytes(held.begin(), held.end()), savedImage);
    EXPECT_EQ(ConfigBytes(device.config), savedImage);
    ExpectSameSettings(device.settings, SampleSettings());
    EXPECT_EQ(device.ChangeFilterTimeoutMs, 900);
    EXPECT_EQ(device.TermometerName[1], red);
    EXPECT_FALSE(device.busy);
}

}  // namespace
}  // namespace kavri
