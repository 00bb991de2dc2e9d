// SPDX-License-Identifier: GPL-3.0-or-later
// The settings store's file (what it writes and reads, an unreadable file never damaged, sharing
// it between programs), and the device's twelve values the focuser driver shares in a store.
#include "persist/RegistryFileStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <sstream>
#include <tuple>

#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "persist/RegistrySettings.h"
#include "persist/SharedFileAccess.h"
#include "platform/ManualTimerService.h"
#include "support/TempDir.h"

namespace kavri {
namespace {

namespace fs = std::filesystem;

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kSection = std::string("[HKEY_LOCAL_MACHINE\\") + DriverKey + "]\r\n";

SettingsValue BinaryOf(std::initializer_list<uint8_t> bytes) {
    const std::vector<uint8_t> data(bytes);
    return SettingsValue::Binary(data.data(), data.size());
}

void ExpectStored(const SettingsStore& store, const std::string& name,
                  const SettingsValue& expected, const std::string& key = DriverKey) {
    SettingsValue value;
    ASSERT_TRUE(store.QueryValue(key, name, value)) << name;
    EXPECT_EQ(value.type, expected.type) << name;
    EXPECT_EQ(value.data, expected.data) << name;
}

bool Has(const SettingsStore& store, const std::string& name, const std::string& key = DriverKey) {
    SettingsValue value;
    return store.QueryValue(key, name, value);
}

class RegistryFileStoreTest : public ::testing::Test {
protected:
    test::TempDir dir_;
    const std::string path_ = dir_.File("registry.reg");
};

TEST_F(RegistryFileStoreTest, EveryTypeRoundTripsThroughTheFile) {
    std::vector<uint8_t> longBinary(300);
    for (size_t i = 0; i < longBinary.size(); ++i) longBinary[i] = static_cast<uint8_t>(i * 7);
    const std::string cyrillic = "\xD0\x94\xD0\xB0\xD1\x82\xD1\x87\xD0\xB8\xD0\xBA";  // "Датчик"
    const struct {
        std::string name;
        SettingsValue value;
        std::string line;  // its line in the file, in the order set; empty: not checked
    } values[] = {
        {"ComPort", SettingsValue::Dword(3), "\"ComPort\"=dword:00000003\r\n"},
        {"AscomFocusShift", SettingsValue::Dword(-500), "\"AscomFocusShift\"=dword:fffffe0c\r\n"},
        {"StepLenInMicrons", BinaryOf({0, 0, 0, 0, 0, 0, 0x24, 0x40}),
         "\"StepLenInMicrons\"=hex:00,00,00,00,00,00,24,40\r\n"},
        {"Empty", SettingsValue::Binary(nullptr, 0), ""},
        {"Long", SettingsValue::Binary(longBinary.data(), longBinary.size()), ""},
        {"LogFile", SettingsValue::String("C:\\logs\\run \"night\".txt"),
         "\"LogFile\"=\"C:\\\\logs\\\\run \\\"night\\\".txt\"\r\n"},
        {"TermometerName0", SettingsValue::String(""), "\"TermometerName0\"=\"\"\r\n"},
        {"TermometerName1", SettingsValue::String(cyrillic),
         "\"TermometerName1\"=\"" + cyrillic + "\"\r\n"},
        // Single-byte Cyrillic is no UTF-8 text: kept as the string's bytes.
        {"TermometerName2", SettingsValue::String("\xC4\xE0\xF2\xF7\xE8\xEA \xFF\xC0"),
         "\"TermometerName2\"=hex(1):"},
        {"TermometerName3", SettingsValue::String("one\r\ntwo\tthree"), ""},
        {"odd \"name\" \\ here", SettingsValue::Dword(7), ""},
        {"", SettingsValue::String("default"), "@=\"default\"\r\n"},
    };
    {
        RegistryFileStore store(path_);
        ASSERT_TRUE(store.CreateKey(DriverKey));
        for (const auto& v : values) ASSERT_TRUE(store.SetValue(DriverKey, v.name, v.value));
        // Names and key paths are found whatever their case; the first spelling stays.
        ASSERT_TRUE(store.SetValue("software\\ascom\\focuser drivers\\orvanta.focuser", "COMPORT",
                                   SettingsValue::Dword(3)));
        // What cannot be written as a line of the file is refused.
        EXPECT_FALSE(store.CreateKey("Software\\\\Gap"));
        EXPECT_FALSE(store.SetValue("Software\nX", "a", SettingsValue::Dword(1)));
        EXPECT_FALSE(store.SetValue(DriverKey, "two\nlines", SettingsValue::Dword(1)));
        ASSERT_TRUE(store.Flush());
    }
    const std::string text = test::ReadFileText(path_);
    EXPECT_EQ(text.rfind(kHeader + kSection, 0), 0u) << text;
    EXPECT_EQ(text.find("COMPORT"), std::string::npos);
    size_t previous = 0;
    for (const auto& v : values) {
        if (v.line.empty()) continue;
        const size_t at = text.find(v.line);
        EXPECT_NE(at, std::string::npos) << v.line;
        EXPECT_GT(at, previous) << v.line;
        previous = at;
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 81u) << line;

    RegistryFileStore reread(path_);
    EXPECT_EQ(reread.SkippedLines(), 0u);
    for (const auto& v : values) ExpectStored(reread, v.name, v.value);
}

TEST_F(RegistryFileStoreTest, ReadsFilesOfOtherToolsHandsAndDamage) {
    // A UTF-8 mark, a comment, hex(N) kinds, continued lines, deletions, other roots, values
    // of another type than the program expects, key headers with blanks and backslashes at the
    // end (which belong to no key name) or before a deletion mark; and damaged lines: not a
    // number, more than 32 bits, not a byte, no closing quote, junk after the string, no such
    // type, a continuation that never came, a header without bracket, garbage.
    const std::string text =
        "\xEF\xBB\xBF" + kHeader + "; kept by hand\r\n" +
        "\"Orphan\"=dword:00000001\r\n"  // before any section
        "[HKEY_CURRENT_USER\\Software\\Elsewhere]\r\n"
        "\"Kept\"=hex(b):01,02,03,04,05,06,07,08\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\ASCOM\\Focuser Drivers\\Orvanta.Focuser\\]\r\n"
        "\"ComPort\"=hex:04,00,00,00\r\n\"MinMotorStep\" = DWORD:0000000A\r\n"
        "\"ChangeFilterTimeoutMs\"=hex(4):e8,03,00,00\r\n"
        "\"LogFile\"=hex(2):2f,00,74,00,6d,00,70,00,00,00\r\n"
        "\"StepLenInMicrons\"=hex:00,00,00,00,\\\r\n  00,00,24,40\r\n"
        "\"Gone\"=dword:00000001\r\n\"Gone\"=-\r\n"
        "\"Xyz\"=dword:xyz\r\n\"Big\"=dword:123456789\r\n\"NotAByte\"=hex:00,00,0g\r\n"
        "\"Unterminated\"=\"text\r\n\"Junk\"=\"a\"b\r\n\"Unknown\"=qword:1\r\n"
        "\"Cut\"=hex:05,00,\\\r\n"  // a continuation that never came
        "\"AscomMaxFocusPos\"=\"30000\"\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Removed\\Below]\r\n\"X\"=dword:00000001\r\n"
        "[-HKEY_LOCAL_MACHINE\\Software\\Removed]\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Spaced \\ ]\r\n\"A\"=dword:00000001\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Doomed]\r\n\"B\"=dword:00000002\r\n"
        "[ -HKEY_LOCAL_MACHINE\\Software\\Doomed]\r\n"
        "[HKEY_LOCAL_MACHINE\\Broken\r\n"  // a header without bracket: what follows is no key's
        "\"InBroken\"=dword:00000001\r\n\x01\x02\xFF garbage\r\n\"AfterGarbage\"=\"Main\"\r\n";
    // As the registry editor exports it: UTF-16 with a byte order mark.
    const auto utf16 = BytesToUtf16Le(std::vector<uint8_t>(text.begin() + 3, text.end()));
    for (const bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "UTF-16" : "UTF-8");
        test::WriteFileText(path_,
                            wide ? "\xFF\xFE" + std::string(utf16.begin(), utf16.end()) : text);
        RegistryFileStore store(path_);
        EXPECT_EQ(store.SkippedLines(), 12u);
        ExpectStored(store, "ComPort", BinaryOf({4, 0, 0, 0}));
        ExpectStored(store, "MinMotorStep", SettingsValue::Dword(10));
        ExpectStored(store, "ChangeFilterTimeoutMs", SettingsValue::Dword(1000));
        ExpectStored(store, "LogFile", SettingsValue::String("/tmp"));
        ExpectStored(store, "StepLenInMicrons", BinaryOf({0, 0, 0, 0, 0, 0, 0x24, 0x40}));
        ExpectStored(store, "AscomMaxFocusPos", SettingsValue::String("30000"));
        for (const char* name : {"Gone", "Orphan", "Xyz", "Big", "NotAByte", "Unterminated", "Junk",
                                 "Unknown", "Cut", "InBroken", "AfterGarbage"}) {
            EXPECT_FALSE(Has(store, name)) << name;
        }
        EXPECT_FALSE(Has(store, "X", "Software\\Removed\\Below"));
        EXPECT_TRUE(Has(store, "A", "Software\\Spaced"));
        EXPECT_FALSE(Has(store, "B", "Software\\Doomed"));
    }

    // Every key is read back as the key it was once the file is written again. (Lines the store
    // does not understand are kept as they are: HandEditsStayInPlaceWhenValuesChange.)
    RegistryFileStore store(path_);
    ASSERT_TRUE(store.SetValue("Software\\Spaced", "C", SettingsValue::Dword(3)));
    ASSERT_TRUE(store.Flush());
    RegistryFileStore reread(path_);
    EXPECT_TRUE(Has(reread, "A", "Software\\Spaced"));
    EXPECT_TRUE(Has(reread, "C", "Software\\Spaced"));
    EXPECT_FALSE(Has(reread, "B", "Software\\Doomed"));
}

TEST_F(RegistryFileStoreTest, HandEditsStayInPlaceWhenValuesChange) {
    // Comments, blank lines, short forms and lines the reader does not understand are kept
    // where they are; a changed value is rewritten on its own line, a new one follows the
    // section's last value, a new key goes last; the file keeps its own line ends.
    test::WriteFileText(path_,
                        "Windows Registry Editor Version 5.00\n"
                        "\n"
                        "; settings of the focuser driver\n"
                        "[HKEY_LOCAL_MACHINE\\Software\\ASCOM\\Focuser Drivers\\Orvanta.Focuser]\n"
                        "\"ComPort\"=dword:3\n"
                        "\"MinMotorStep\" = dword:1e\n"
                        "this line means \x01nothing\n"
                        "\"Odd\"=qword:5\n"
                        "\n"
                        "[HKEY_CURRENT_USER\\Other]\n"
                        "\"Kept\"=dword:1");
    RegistryFileStore store(path_);
    EXPECT_EQ(store.TakeNotices(),
              (std::vector<std::string>{
                  path_ + ": line 7 not understood, kept as it is: this line means ?nothing",
                  path_ + ": line 8 not understood, kept as it is: \"Odd\"=qword:5"}));
    ExpectStored(store, "ComPort", SettingsValue::Dword(3));
    ExpectStored(store, "MinMotorStep", SettingsValue::Dword(30));
    store.SetValue(DriverKey, "ComPort", SettingsValue::Dword(4));
    store.SetValue(DriverKey, "MinMotorStep", SettingsValue::Dword(30));  // as it was
    store.SetValue(DriverKey, "LogFile", SettingsValue::String("/tmp/x.log"));
    store.SetValue("Software\\New", "A", SettingsValue::Dword(1));
    ASSERT_TRUE(store.Flush());
    EXPECT_TRUE(store.TakeNotices().empty());  // the save read the file again: told once only
    EXPECT_EQ(test::ReadFileText(path_),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "; settings of the focuser driver\n"
              "[HKEY_LOCAL_MACHINE\\Software\\ASCOM\\Focuser Drivers\\Orvanta.Focuser]\n"
              "\"ComPort\"=dword:00000004\n"
              "\"MinMotorStep\" = dword:1e\n"
              "\"LogFile\"=\"/tmp/x.log\"\n"
              "this line means \x01nothing\n"
              "\"Odd\"=qword:5\n"
              "\n"
              "[HKEY_CURRENT_USER\\Other]\n"
              "\"Kept\"=dword:1\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\Software\\New]\n"
              "\"A\"=dword:00000001\n"
              "\n");
}

TEST_F(RegistryFileStoreTest, AStoreThatCannotBeReadIsNeverWrittenOver) {
    const struct {
        const char* name;
        std::function<void(const std::string&)> make;
        fs::file_type type;
    } cases[] = {
        {"directory", [](const std::string& p) { fs::create_directory(p); },
         fs::file_type::directory},
        {"FIFO", [](const std::string& p) { mkfifo(p.c_str(), 0666); }, fs::file_type::fifo},
        {"looping link", [](const std::string& p) { fs::create_symlink(p, p); },
         fs::file_type::symlink},
        // A regular file too large to be a store (sparse, so it costs no disk).
        {"huge file",
         [](const std::string& p) {
             test::WriteFileText(p, "");
             fs::resize_file(p, 65u << 20);
         },
         fs::file_type::regular},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.File(std::string(c.name) + ".reg");
        c.make(path);
        RegistryFileStore store(path);  // a FIFO must not block it
        const std::vector<std::string> notices = store.TakeNotices();
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_NE(notices[0].find("cannot read"), std::string::npos) << notices[0];
        EXPECT_FALSE(store.CreateKey(DriverKey));
        store.SetValue(DriverKey, "ComPort", SettingsValue::Dword(3));
        EXPECT_FALSE(store.Flush());
        EXPECT_EQ(fs::symlink_status(path).type(), c.type);
        EXPECT_TRUE(c.type != fs::file_type::regular || fs::file_size(path) == 65u << 20);
    }
}

// A program killed between writing its temporary file and renaming it leaves the file behind;
// the next save, holding the store's lock, removes such files and nothing else.
TEST_F(RegistryFileStoreTest, ASaveRemovesTheTemporaryFilesOfSavesThatDied) {
    const std::vector<std::string> stale = {".registry.reg.tmp-4242-0", ".registry.reg.tmp-1-17"},
                                   other = {".registry.reg.tmp-x-0", ".notes.reg.tmp-4242-0"};
    for (const auto& name : stale) test::WriteFileText(dir_.File(name), "x");
    for (const auto& name : other) test::WriteFileText(dir_.File(name), "x");
    RegistryFileStore store(path_);
    store.SetValue(DriverKey, "ComPort", SettingsValue::Dword(2));
    ASSERT_TRUE(store.Flush());
    for (const auto& name : stale) EXPECT_FALSE(fs::exists(dir_.File(name))) << name;
    for (const auto& name : other) EXPECT_TRUE(fs::exists(dir_.File(name))) << name;
}

TEST_F(RegistryFileStoreTest, ReadsAndSavesWaitWhileAnotherProgramHoldsTheLock) {
    RegistryFileStore store(path_);
    store.SetValue(DriverKey, "ComPort", SettingsValue::Dword(1));
    ASSERT_TRUE(store.Flush());
    // A reader waits for a writer, a writer for a reader; readers share.
    const struct {
        const char* name;
        FileLock::Mode held;
        int32_t port;  // 0: the other program only reads
        bool waits;
    } cases[] = {{"read while saving", FileLock::Mode::Exclusive, 0, true},
                 {"save while reading", FileLock::Mode::Shared, 2, true},
                 {"read while reading", FileLock::Mode::Shared, 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto lock = std::make_unique<FileLock>(store.LockPath(), c.held);
        EXPECT_TRUE(lock->Held()) << lock->Error();
        auto other = std::async(std::launch::async, [this, &c] {
            RegistryFileStore theirs(path_);
            return c.port == 0 ||
                   (theirs.SetValue(DriverKey, "ComPort", SettingsValue::Dword(c.port)) &&
                    theirs.Flush());
        });
        // Waiting shows as not finishing in 300 ms; not waiting gets ample time.
        const auto limit = std::chrono::milliseconds(c.waits ? 300 : 20000);
        EXPECT_EQ(other.wait_for(limit) == std::future_status::ready, !c.waits);
        lock.reset();
        EXPECT_TRUE(other.get());
    }
    ExpectStored(RegistryFileStore(path_), "ComPort", SettingsValue::Dword(2));
}

// The twelve fields the device keeps in the store, in the order it saves them.
auto Fields(const WheelFocuserDevice& d) {
    return std::tuple(d.settings.ComPort, d.ChangeFilterTimeoutMs, d.settings.StepLenInMicrons,
                      d.settings.AscomPreferredTermometer, d.settings.AscomFocusShift,
                      d.settings.AscomMaxFocusPos, d.MinMotorStep, d.LogFile, d.TermometerName[0],
                      d.TermometerName[1], d.TermometerName[2], d.TermometerName[3]);
}

class RegistrySettingsTest : public ::testing::Test {
protected:
    MemorySettingsStore store;
    ManualTimerService timers;
};

TEST_F(RegistrySettingsTest, TheTwelveValuesAreWrittenInOrderAndReadBack) {
    { WheelFocuserDevice device(store, timers); }
    const std::pair<std::string, SettingsValue> defaults[] = {
        {"ComPort", SettingsValue::Dword(0)},
        {"ChangeFilterTimeoutMs", SettingsValue::Dword(1000)},
        {"StepLenInMicrons", BinaryOf({0, 0, 0, 0, 0, 0, 0x24, 0x40})},  // 10.0
        {"AscomPreferredTermometer", SettingsValue::Dword(0)},
        {"AscomFocusShift", SettingsValue::Dword(0)},
        {"AscomMaxFocusPos", SettingsValue::Dword(30000)},
        {"MinMotorStep", SettingsValue::Dword(1)},
        {"LogFile", SettingsValue::String("")},
        {"TermometerName0", SettingsValue::String("")},
        {"TermometerName1", SettingsValue::String("")},
        {"TermometerName2", SettingsValue::String("")},
        {"TermometerName3", SettingsValue::String("")},
    };
    std::vector<std::string> order;
    for (const auto& [name, value] : defaults) {
        order.push_back(name);
        ExpectStored(store, name, value);
    }
    EXPECT_EQ(store.ValueNames(DriverKey), order);

    auto device = std::make_unique<WheelFocuserDevice>(store, timers);
    device->settings = {7, 4.25, 2, -500, 65000};
    device->ChangeFilterTimeoutMs = 1500;
    device->MinMotorStep = 25;
    device->LogFile = "/var/log/" + std::string(291, 'a');  // 300 characters
    device->TermometerName[1] = "\xD2\xF0\xF3\xE1\xE0";     // "Труба" in windows-1251
    const auto saved = Fields(*device);
    device.reset();
    ExpectStored(store, "AscomFocusShift", SettingsValue::Dword(-500));
    EXPECT_EQ(Fields(WheelFocuserDevice(store, timers)), saved);
}

// A program saves only the values it changed itself since it read them, also to a store that
// writes whatever it is given, as the Windows registry does: what another program stored after
// the load stays through every later save, and a value missing at the load gets its default
// only while it is still missing.
TEST_F(RegistrySettingsTest, SavesWriteOnlyWhatThisProgramChanged) {
    store.SetValue(DriverKey, "MinMotorStep", SettingsValue::Dword(7));
    auto device = std::make_unique<WheelFocuserDevice>(store, timers);
    const std::pair<const char*, SettingsValue> theirs[] = {
        {"MinMotorStep", SettingsValue::Dword(25)},
        {"AscomPreferredTermometer", SettingsValue::Dword(2)},
        {"TermometerName2", SettingsValue::String("Hand")}};
    for (const auto& [name, value] : theirs) store.SetValue(DriverKey, name, value);
    device->settings.ComPort = 5;
    ASSERT_TRUE(device->SaveRegistry());
    device->TermometerName[0] = "Main";
    device.reset();  // saves again
    for (const auto& [name, value] : theirs) ExpectStored(store, name, value);
    ExpectStored(store, "ComPort", SettingsValue::Dword(5));
    ExpectStored(store, "TermometerName0", SettingsValue::String("Main"));
    ExpectStored(store, "AscomMaxFocusPos", SettingsValue::Dword(30000));
}

// A value of the field's type, or raw bytes, is taken by its bytes. One of another type (text
// for a number, a number for text or for the double's 8 bytes), too short for its field or too
// long for its reading buffer leaves the field as it was, is told on the log, and is not
// written back by a save; a missing one leaves the field too.
TEST_F(RegistrySettingsTest, OddValuesAreTakenByTheirBytesOrLeaveTheFieldWithANotice) {
    WheelFocuserDevice device(store, timers);
    std::string logged;
    device.log.SetSink([&logged](const char* line) { logged += line; });
    device.settings = {1, 2.5, 3, 4, 5};
    device.MinMotorStep = 6;
    device.TermometerName[0] = "Main";
    const uint8_t seven[4] = {7, 0, 0, 0};
    const struct {
        const char* name;
        SettingsValue value;
        const char* notice;  // empty: taken
    } values[] = {
        {"ComPort", SettingsValue::Binary(seven, 4), ""},
        {"AscomMaxFocusPos", SettingsValue::String("five"), "Pos is stored as text (REG_SZ), not"},
        {"StepLenInMicrons", SettingsValue::Dword(5), "ns is stored as a number (REG_DWORD), not"},
        {"MinMotorStep", SettingsValue::Binary(seven, 2), "MinMotorStep holds 2 bytes"},
        {"LogFile", SettingsValue::String(std::string(2047, 'k')), ""},
        {"TermometerName0", SettingsValue::String(std::string(2048, 'x')), "e0 holds 2049 bytes"},
        {"TermometerName1", SettingsValue::Dword(5), "e1 is stored as a number (REG_DWORD), not"},
    };
    for (const auto& v : values) store.SetValue(DriverKey, v.name, v.value);
    device.LoadRegistry();
    const std::string longest(2047, 'k');  // the longest that fits
    EXPECT_EQ(Fields(device), std::tuple(7, 1000, 2.5, 3, 4, 5, 6, longest, "Main", "", "", ""));
    ASSERT_TRUE(device.SaveRegistry());
    for (const auto& v : values) {
        SCOPED_TRACE(v.name);
        ExpectStored(store, v.name, v.value);
        EXPECT_EQ(logged.find(v.name) != std::string::npos, *v.notice != '\0') << logged;
        EXPECT_NE(logged.find(v.notice), std::string::npos) << logged;
    }
}

TEST_F(RegistryFileStoreTest, NamesAreWindows1251InTheDeviceAndUtf8InTheFile) {
    test::WriteFileText(
        path_,
        "[HKEY_LOCAL_MACHINE\\Software\\ASCOM\\Focuser Drivers\\Orvanta.Focuser]\r\n"
        "\"TermometerName0\"=\"Красный\"\r\n"
        "\"TermometerName1\"=\"Ω-probe\"\r\n"  // a letter windows-1251 lacks
        // windows-1251 bytes ("Дат") as an older version stored them
        "\"TermometerName2\"=hex(1):c4,dc,e0,dc,f2,dc,00,00\r\n"
        // a path: the file system's bytes, not converted
        "\"LogFile\"=\"/var/log/журнал.log\"\r\n"
        "nonsense\r\n");
    ManualTimerService timers;
    {
        RegistryFileStore store(path_);
        WheelFocuserDevice device(store, timers);
        EXPECT_EQ(device.TermometerName[0], "\xCA\xF0\xE0\xF1\xED\xFB\xE9");
        EXPECT_EQ(device.TermometerName[1], "?-probe");
        EXPECT_EQ(device.TermometerName[2], "\xC4\xE0\xF2");
        EXPECT_EQ(device.LogFile, "/var/log/журнал.log");
        std::string logged;  // what the store could not read is logged
        device.log.SetSink([&logged](const char* line) { logged += line; });
        ASSERT_TRUE(store.Reload());
        device.LoadRegistry();
        EXPECT_NE(logged.find("line 6 not understood, kept as it is: nonsense"), logged.npos);
        device.TermometerName[3] = "\xD1\xE8\xED\xE8\xE9";  // "Синий"
    }
    // Names the program did not change stay as they were stored.
    const std::string text = test::ReadFileText(path_);
    for (const char* line :
         {"\"TermometerName0\"=\"Красный\"\r\n", "\"TermometerName1\"=\"Ω-probe\"\r\n",
          "\"TermometerName2\"=hex(1):c4,dc,e0,dc,f2,dc,00,00\r\n",
          "\"TermometerName3\"=\"Синий\"\r\n", "\"LogFile\"=\"/var/log/журнал.log\"\r\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace kavri
