#include "persist/RegistryFileStore.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>

#include "persist/ConfigPaths.h"
#include "support/TempDir.h"

namespace kavri {
namespace {

namespace fs = std::filesystem;

const std::string kDriverKey = "Software\\ASCOM\\Focuser Drivers\\Orvanta.Focuser";

class RegistryFileStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kavri-store-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/registry.reg";
    }
    void TearDown() override { fs::remove_all(dir_); }

    SettingsValue Query(const RegistryFileStore& store, const std::string& name,
                        const std::string& key = kDriverKey) const {
        SettingsValue value;
        EXPECT_TRUE(store.QueryValue(key, name, value)) << name;
        return value;
    }
    std::vector<std::string> TemporaryFilesLeft() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            if (entry.path().filename().string().find(".tmp-") != std::string::npos)
                names.push_back(entry.path().filename());
        return names;
    }

    std::string dir_;
    std::string path_;
};

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
    std::vector<uint8_t> bytes;
    for (int b : list) bytes.push_back(static_cast<uint8_t>(b));
    return bytes;
}

TEST_F(RegistryFileStoreTest, EveryTypeRoundTripsThroughTheFile) {
    const double stepLength = 10.0;
    std::vector<uint8_t> longBinary(300);
    for (size_t i = 0; i < longBinary.size(); ++i) longBinary[i] = static_cast<uint8_t>(i * 7);
    const std::string cyrillic = "\xD0\x94\xD0\xB0\xD1\x82\xD1\x87\xD0\xB8\xD0\xBA";  // "Датчик"
    const std::string notUtf8 = "\xC4\xE0\xF2\xF7\xE8\xEA \xFF\xC0";  // single-byte Cyrillic
    const std::string withEscapes = "C:\\logs\\run \"night\".txt";
    const std::string withLineBreaks = "one\r\ntwo\tthree";
    {
        RegistryFileStore store(path_);
        ASSERT_TRUE(store.CreateKey(kDriverKey));
        ASSERT_TRUE(store.SetValue(kDriverKey, "ComPort", SettingsValue::Dword(3)));
        ASSERT_TRUE(store.SetValue(kDriverKey, "AscomFocusShift", SettingsValue::Dword(-500)));
        ASSERT_TRUE(store.SetValue(kDriverKey, "StepLenInMicrons",
                                   SettingsValue::Binary(&stepLength, sizeof stepLength)));
        ASSERT_TRUE(store.SetValue(kDriverKey, "Empty", SettingsValue::Binary(nullptr, 0)));
        ASSERT_TRUE(store.SetValue(kDriverKey, "Long",
                                   SettingsValue::Binary(longBinary.data(), longBinary.size())));
        ASSERT_TRUE(store.SetValue(kDriverKey, "LogFile", SettingsValue::String(withEscapes)));
        ASSERT_TRUE(store.SetValue(kDriverKey, "TermometerName0", SettingsValue::String("")));
        ASSERT_TRUE(store.SetValue(kDriverKey, "TermometerName1", SettingsValue::String(cyrillic)));
        ASSERT_TRUE(store.SetValue(kDriverKey, "TermometerName2", SettingsValue::String(notUtf8)));
        ASSERT_TRUE(
            store.SetValue(kDriverKey, "TermometerName3", SettingsValue::String(withLineBreaks)));
        ASSERT_TRUE(store.SetValue(kDriverKey, "odd \"name\" \\ here", SettingsValue::Dword(7)));
        ASSERT_TRUE(store.SetValue(kDriverKey, "", SettingsValue::String("default")));
        ASSERT_TRUE(store.Flush());
    }

    const std::string text = test::ReadFileText(path_);
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n\r\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\ASCOM\\Focuser "
                        "Drivers\\Orvanta.Focuser]\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"ComPort\"=dword:00000003\r\n"), std::string::npos);
    EXPECT_LT(text.find("\"ComPort\""), text.find("\"AscomFocusShift\""));  // in the order set
    EXPECT_NE(text.find("\"AscomFocusShift\"=dword:fffffe0c\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"StepLenInMicrons\"=hex:00,00,00,00,00,00,24,40\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"LogFile\"=\"C:\\\\logs\\\\run \\\"night\\\".txt\"\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"TermometerName0\"=\"\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"TermometerName1\"=\"" + cyrillic + "\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"TermometerName2\"=hex(1):"), std::string::npos);
    EXPECT_NE(text.find("@=\"default\"\r\n"), std::string::npos);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 81u) << line;

    RegistryFileStore reread(path_);
    EXPECT_EQ(reread.SkippedLines(), 0u);
    EXPECT_EQ(Query(reread, "ComPort").data, SettingsValue::Dword(3).data);
    EXPECT_EQ(Query(reread, "ComPort").type, SettingsValueType::Dword);
    EXPECT_EQ(Query(reread, "AscomFocusShift").data, Bytes({0x0C, 0xFE, 0xFF, 0xFF}));
    EXPECT_EQ(Query(reread, "StepLenInMicrons").data, Bytes({0, 0, 0, 0, 0, 0, 0x24, 0x40}));
    EXPECT_EQ(Query(reread, "StepLenInMicrons").type, SettingsValueType::Binary);
    EXPECT_TRUE(Query(reread, "Empty").data.empty());
    EXPECT_EQ(Query(reread, "Long").data, longBinary);
    EXPECT_EQ(Query(reread, "LogFile").data, SettingsValue::String(withEscapes).data);
    EXPECT_EQ(Query(reread, "LogFile").type, SettingsValueType::String);
    EXPECT_EQ(Query(reread, "TermometerName0").data, Bytes({0}));
    EXPECT_EQ(Query(reread, "TermometerName1").data, SettingsValue::String(cyrillic).data);
    EXPECT_EQ(Query(reread, "TermometerName2").data, SettingsValue::String(notUtf8).data);
    EXPECT_EQ(Query(reread, "TermometerName3").data, SettingsValue::String(withLineBreaks).data);
    EXPECT_EQ(Query(reread, "odd \"name\" \\ here").data, SettingsValue::Dword(7).data);
    EXPECT_EQ(Query(reread, "").data, SettingsValue::String("default").data);
}

TEST_F(RegistryFileStoreTest, LookupIgnoresCaseAndMissingValuesAreReported) {
    RegistryFileStore store(path_);
    SettingsValue value;
    EXPECT_FALSE(store.QueryValue(kDriverKey, "ComPort", value));
    ASSERT_TRUE(store.SetValue(kDriverKey, "ComPort", SettingsValue::Dword(2)));
    ASSERT_TRUE(store.SetValue("software\\ascom\\focuser drivers\\orvanta.focuser", "COMPORT",
                               SettingsValue::Dword(5)));
    EXPECT_EQ(Query(store, "comport").data, SettingsValue::Dword(5).data);
    EXPECT_FALSE(store.QueryValue(kDriverKey, "LogFile", value));
    EXPECT_FALSE(store.QueryValue("Software\\Other", "ComPort", value));
    // Paths and names that cannot be written as a line of the file are refused.
    EXPECT_FALSE(store.CreateKey(""));
    EXPECT_FALSE(store.CreateKey("Software\\\\Gap"));
    EXPECT_FALSE(store.SetValue("Software\nX", "a", SettingsValue::Dword(1)));
    EXPECT_FALSE(store.SetValue(kDriverKey, "two\nlines", SettingsValue::Dword(1)));
    ASSERT_TRUE(store.Flush());
    const std::string text = test::ReadFileText(path_);
    EXPECT_NE(text.find("\"ComPort\"=dword:00000005"), std::string::npos);
    EXPECT_EQ(text.find("COMPORT"), std::string::npos);
}

TEST_F(RegistryFileStoreTest, ReadsFilesWrittenByOtherToolsAndByHand) {
    // CR LF ends, a UTF-8 mark, a comment, hex(N) kinds, continued lines, deletions, values
    // under other roots, and a value stored with another type than the program expects.
    test::WriteFileText(
        path_,
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
        "; kept by hand\r\n"
        "[HKEY_CURRENT_USER\\Software\\Elsewhere]\r\n"
        "\"Kept\"=hex(b):01,02,03,04,05,06,07,08\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\ASCOM\\Focuser Drivers\\Orvanta.Focuser\\]\r\n"
        "\"ComPort\"=hex:04,00,00,00\r\n"
        "\"MinMotorStep\" = DWORD:0000000A\r\n"
        "\"ChangeFilterTimeoutMs\"=hex(4):e8,03,00,00\r\n"
        "\"LogFile\"=hex(2):2f,00,74,00,6d,00,70,00,00,00\r\n"
        "\"StepLenInMicrons\"=hex:00,00,00,00,\\\r\n"
        "  00,00,24,40\r\n"
        "\"Gone\"=dword:00000001\r\n"
        "\"Gone\"=-\r\n"
        "\"AscomMaxFocusPos\"=\"30000\"\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Removed\\Below]\r\n"
        "\"X\"=dword:00000001\r\n"
        "[-HKEY_LOCAL_MACHINE\\Software\\Removed]\r\n");
    RegistryFileStore store(path_);
    EXPECT_EQ(store.SkippedLines(), 0u);
    EXPECT_EQ(Query(store, "ComPort").data, SettingsValue::Dword(4).data);
    EXPECT_EQ(Query(store, "ComPort").type, SettingsValueType::Binary);
    EXPECT_EQ(Query(store, "MinMotorStep").data, SettingsValue::Dword(10).data);
    EXPECT_EQ(Query(store, "ChangeFilterTimeoutMs").type, SettingsValueType::Dword);
    EXPECT_EQ(Query(store, "ChangeFilterTimeoutMs").data, SettingsValue::Dword(1000).data);
    EXPECT_EQ(Query(store, "LogFile").type, SettingsValueType::String);
    EXPECT_EQ(Query(store, "LogFile").data, SettingsValue::String("/tmp").data);
    EXPECT_EQ(Query(store, "StepLenInMicrons").data, Bytes({0, 0, 0, 0, 0, 0, 0x24, 0x40}));
    EXPECT_EQ(Query(store, "AscomMaxFocusPos").type, SettingsValueType::String);
    SettingsValue value;
    EXPECT_FALSE(store.QueryValue(kDriverKey, "Gone", value));
    EXPECT_FALSE(store.QueryValue("Software\\Removed\\Below", "X", value));

    // What the store does not understand as one of its own types is written back unchanged.
    ASSERT_TRUE(store.Flush());
    const std::string text = test::ReadFileText(path_);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Elsewhere]\r\n"
                        "\"Kept\"=hex(b):01,02,03,04,05,06,07,08\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"LogFile\"=hex(2):2f,00,74,00,6d,00,70,00,00,00\r\n"), std::string::npos);
}

TEST_F(RegistryFileStoreTest, KeyPathsAreReadAsTheyWillBeWrittenBack) {
    // Blanks and backslashes at the end of a header belong to no key name; a header that is
    // a deletion stays one with a blank before its mark.
    test::WriteFileText(path_,
                        "[HKEY_LOCAL_MACHINE\\Software\\Spaced \\ ]\n"
                        "\"A\"=dword:00000001\n"
                        "[HKEY_LOCAL_MACHINE\\Software\\Doomed]\n"
                        "\"B\"=dword:00000002\n"
                        "[ -HKEY_LOCAL_MACHINE\\Software\\Doomed]\n");
    RegistryFileStore store(path_);
    SettingsValue value;
    EXPECT_TRUE(store.QueryValue("Software\\Spaced", "A", value));
    EXPECT_FALSE(store.QueryValue("Software\\Doomed", "B", value));
    ASSERT_TRUE(store.SetValue("Software\\Spaced", "C", SettingsValue::Dword(3)));
    ASSERT_TRUE(store.Flush());
    RegistryFileStore reread(path_);
    EXPECT_TRUE(reread.QueryValue("Software\\Spaced", "A", value));
    EXPECT_TRUE(reread.QueryValue("Software\\Spaced", "C", value));
    EXPECT_FALSE(reread.QueryValue("Software\\Doomed", "B", value));
}

TEST_F(RegistryFileStoreTest, ReadsUtf16FilesAsTheRegistryEditorExportsThem) {
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\ASCOM\\Focuser Drivers\\Orvanta.Focuser]\r\n"
        "\"TermometerName0\"=\"\xD0\x9D\xD0\xB0\xD1\x80\xD1\x83\xD0\xB6\xD0\xB0\"\r\n"
        "\"ComPort\"=dword:00000007\r\n";
    const auto utf16 = BytesToUtf16Le(std::vector<uint8_t>(text.begin(), text.end()));
    test::WriteFileText(path_, "\xFF\xFE" + std::string(utf16.begin(), utf16.end()));
    RegistryFileStore store(path_);
    EXPECT_EQ(Query(store, "ComPort").data, SettingsValue::Dword(7).data);
    EXPECT_EQ(Query(store, "TermometerName0").data,
              SettingsValue::String("\xD0\x9D\xD0\xB0\xD1\x80\xD1\x83\xD0\xB6\xD0\xB0").data);
}

TEST_F(RegistryFileStoreTest, DamagedLinesAreSkippedAndEverythingElseStands) {
    test::WriteFileText(path_,
                        "\"Orphan\"=dword:00000001\n"  // before any section
                        "[HKEY_LOCAL_MACHINE\\Software\\ASCOM\\Focuser Drivers\\Orvanta.Focuser]\n"
                        "\"ComPort\"=dword:00000003\n"
                        "\"AscomFocusShift\"=dword:xyz\n"         // not a number
                        "\"AscomMaxFocusPos\"=dword:123456789\n"  // more than 32 bits
                        "\"StepLenInMicrons\"=hex:00,00,0g\n"     // not a byte
                        "\"LogFile\"=\"unterminated\n"            // no closing quote
                        "\"TermometerName1\"=\"a\"b\n"            // junk after the string
                        "\"Unknown\"=qword:1\n"                   // no such type
                        "\"MinMotorStep\"=hex:05,00,\\\n"         // continuation that never came
                        "\"ChangeFilterTimeoutMs\"=dword:000003e8\n"
                        "[HKEY_LOCAL_MACHINE\\Broken\n"  // header without bracket
                        "\"InBroken\"=dword:00000001\n"
                        "\x01\x02\xFF garbage\n"
                        "\"TermometerName0\"=\"Main mirror\"\n");
    RegistryFileStore store(path_);
    EXPECT_EQ(store.SkippedLines(), 12u);
    SettingsValue value;
    EXPECT_EQ(Query(store, "ComPort").data, SettingsValue::Dword(3).data);
    EXPECT_EQ(Query(store, "ChangeFilterTimeoutMs").data, SettingsValue::Dword(1000).data);
    for (const char* name : {"AscomFocusShift", "AscomMaxFocusPos", "StepLenInMicrons", "LogFile",
                             "TermometerName1", "Unknown", "MinMotorStep", "Orphan"}) {
        EXPECT_FALSE(store.QueryValue(kDriverKey, name, value)) << name;
    }
    // Values after a broken header belong to no key, not to the one before it.
    EXPECT_FALSE(store.QueryValue(kDriverKey, "TermometerName0", value));
    EXPECT_FALSE(store.QueryValue(kDriverKey, "InBroken", value));
}

TEST_F(RegistryFileStoreTest, AFileCutAnywhereKeepsEveryCompleteValue) {
    std::vector<uint8_t> blob(100, 0xAB);
    {
        RegistryFileStore store(path_);
        store.SetValue(kDriverKey, "ComPort", SettingsValue::Dword(3));
        store.SetValue(kDriverKey, "Blob", SettingsValue::Binary(blob.data(), blob.size()));
        store.SetValue(kDriverKey, "LogFile", SettingsValue::String("/var/log/kavri.log"));
        ASSERT_TRUE(store.Flush());
    }
    const std::string full = test::ReadFileText(path_);
    const size_t blobEnd = full.find("\"LogFile\"");
    for (size_t cut = 0; cut <= full.size(); ++cut) {
        test::WriteFileText(path_, full.substr(0, cut));
        RegistryFileStore store(path_);
        SettingsValue value;
        // A cut inside the digits leaves a shorter number, as "dword:3" written by hand is.
        if (store.QueryValue(kDriverKey, "ComPort", value) &&
            value.data != SettingsValue::Dword(3).data) {
            const size_t digits = full.find("dword:") + 6;
            EXPECT_TRUE(cut > digits && cut < digits + 8) << cut;
        }
        // A value cut inside is dropped, except when the cut falls exactly between two bytes
        // of what remains, which no reader can tell from a shorter value: then it is a
        // shorter value, never one with a wrong byte.
        if (store.QueryValue(kDriverKey, "Blob", value) && value.data != blob) {
            const std::string before = full.substr(cut - 2, 2);
            EXPECT_TRUE(before == "ab" || before == "x:") << cut;
            EXPECT_EQ(full[cut], before == "ab" ? ',' : 'a') << cut;
            EXPECT_LT(value.data.size(), blob.size());
            EXPECT_TRUE(std::all_of(value.data.begin(), value.data.end(),
                                    [](uint8_t b) { return b == 0xAB; }));
        }
        if (store.QueryValue(kDriverKey, "LogFile", value)) {
            EXPECT_EQ(value.data, SettingsValue::String("/var/log/kavri.log").data) << cut;
        }
    }
    test::WriteFileText(path_, full.substr(0, blobEnd));
    RegistryFileStore beforeLogFile(path_);
    EXPECT_EQ(Query(beforeLogFile, "Blob").data, blob);
}

TEST_F(RegistryFileStoreTest, RandomBytesNeverCrashTheParser) {
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
    const std::string alphabet = "[]\"@=\\-,:;()hexdword0123456789abcdefHKEY_\r\n \t\xFF\xFE";
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(next() % 300, '\0');
        for (auto& c : bytes)
            c = (round % 2) ? static_cast<char>(next()) : alphabet[next() % alphabet.size()];
        const RegistryFileContents contents = ParseRegistryFile(bytes);
        // Whatever was read must survive being written and read again.
        const RegistryFileContents again = ParseRegistryFile(FormatRegistryFile(contents));
        const auto keys = contents.Keys();
        const auto keysAgain = again.Keys();
        ASSERT_EQ(keysAgain.size(), keys.size());
        EXPECT_EQ(again.SkippedLines().size(), contents.SkippedLines().size());
        for (size_t k = 0; k < keys.size(); ++k) {
            ASSERT_EQ(keysAgain[k]->Values().size(), keys[k]->Values().size());
            for (size_t v = 0; v < keys[k]->Values().size(); ++v)
                EXPECT_TRUE(keysAgain[k]->Values()[v].SameContent(keys[k]->Values()[v]));
        }
    }
}

TEST_F(RegistryFileStoreTest, AFailedSaveLeavesThePreviousFile) {
    {
        RegistryFileStore store(path_);
        store.SetValue(kDriverKey, "ComPort", SettingsValue::Dword(1));
        ASSERT_TRUE(store.Flush());
    }
    const std::string before = test::ReadFileText(path_);

    // The write runs out of room part-way: a file size limit makes write() fail with EFBIG.
    RegistryFileStore store(path_);
    std::vector<uint8_t> big(64 * 1024, 0x55);
    store.SetValue(kDriverKey, "ComPort", SettingsValue::Dword(2));
    store.SetValue(kDriverKey, "Big", SettingsValue::Binary(big.data(), big.size()));
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = store.Flush();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(test::ReadFileText(path_), before);
    EXPECT_TRUE(TemporaryFilesLeft().empty());

    // A store whose directory lies below a regular file cannot save at all.
    RegistryFileStore below(path_ + "/registry.reg");
    below.SetValue(kDriverKey, "ComPort", SettingsValue::Dword(3));
    EXPECT_FALSE(below.Flush());
    EXPECT_EQ(test::ReadFileText(path_), before);
    // A directory where the file belongs is never replaced.
    fs::create_directory(dir_ + "/dir.reg");
    RegistryFileStore onDirectory(dir_ + "/dir.reg");
    onDirectory.SetValue(kDriverKey, "ComPort", SettingsValue::Dword(3));
    EXPECT_FALSE(onDirectory.Flush());
    EXPECT_TRUE(fs::is_directory(dir_ + "/dir.reg"));
    EXPECT_TRUE(TemporaryFilesLeft().empty());
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
                        "this line means nothing\n"
                        "\"Odd\"=qword:5\n"
                        "\n"
                        "[HKEY_CURRENT_USER\\Other]\n"
                        "\"Kept\"=dword:1");
    RegistryFileStore store(path_);
    EXPECT_EQ(store.SkippedLines(), 2u);
    EXPECT_EQ(Query(store, "ComPort").data, SettingsValue::Dword(3).data);
    EXPECT_EQ(Query(store, "MinMotorStep").data, SettingsValue::Dword(30).data);
    store.SetValue(kDriverKey, "ComPort", SettingsValue::Dword(4));
    store.SetValue(kDriverKey, "MinMotorStep", SettingsValue::Dword(30));  // as it was
    store.SetValue(kDriverKey, "LogFile", SettingsValue::String("/tmp/x.log"));
    store.SetValue("Software\\New", "A", SettingsValue::Dword(1));
    ASSERT_TRUE(store.Flush());
    EXPECT_EQ(test::ReadFileText(path_),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "; settings of the focuser driver\n"
              "[HKEY_LOCAL_MACHINE\\Software\\ASCOM\\Focuser Drivers\\Orvanta.Focuser]\n"
              "\"ComPort\"=dword:00000004\n"
              "\"MinMotorStep\" = dword:1e\n"
              "\"LogFile\"=\"/tmp/x.log\"\n"
              "this line means nothing\n"
              "\"Odd\"=qword:5\n"
              "\n"
              "[HKEY_CURRENT_USER\\Other]\n"
              "\"Kept\"=dword:1\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\Software\\New]\n"
              "\"A\"=dword:00000001\n"
              "\n");
}

TEST_F(RegistryFileStoreTest, SkippedLinesAreReportedOnceWithTheirNumbers) {
    std::string text = "[HKEY_LOCAL_MACHINE\\Software\\X]\r\n";
    for (int i = 0; i < 12; ++i) text += "bad \x01line " + std::to_string(i) + "\r\n";
    test::WriteFileText(path_, text);
    RegistryFileStore store(path_);
    std::vector<std::string> notices = store.TakeNotices();
    ASSERT_EQ(notices.size(), 11u);
    EXPECT_EQ(notices[0], path_ + ": line 2 not understood, kept as it is: bad ?line 0");
    EXPECT_EQ(notices[10], path_ + ": 2 more lines not understood, kept as they are");
    EXPECT_TRUE(store.TakeNotices().empty());
    // A save reads the file again, but tells nothing twice.
    store.SetValue("Software\\X", "A", SettingsValue::Dword(1));
    ASSERT_TRUE(store.Flush());
    EXPECT_TRUE(store.TakeNotices().empty());
    // The damaged lines stay; the file gets a header, the new value follows its key's header.
    const size_t firstBad = text.find("bad");
    EXPECT_EQ(test::ReadFileText(path_), "Windows Registry Editor Version 5.00\r\n\r\n" +
                                             text.substr(0, firstBad) + "\"A\"=dword:00000001\r\n" +
                                             text.substr(firstBad));
}

TEST_F(RegistryFileStoreTest, AStoreThatCannotBeReadIsNeverWrittenOver) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        fs::file_type type;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_ + "/" + c.name + ".reg";
        c.make(path);
        RegistryFileStore store(path);  // a FIFO must not block it
        const std::vector<std::string> notices = store.TakeNotices();
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_NE(notices[0].find("cannot read"), std::string::npos) << notices[0];
        EXPECT_FALSE(store.CreateKey(kDriverKey));
        store.SetValue(kDriverKey, "ComPort", SettingsValue::Dword(3));
        EXPECT_FALSE(store.Flush());
        EXPECT_EQ(fs::symlink_status(path).type(), c.type);
        if (c.type == fs::file_type::regular) {
            EXPECT_EQ(fs::file_size(path), 65u << 20);
        }
    }
    EXPECT_TRUE(TemporaryFilesLeft().empty());
}

TEST_F(RegistryFileStoreTest, SaveCreatesDirectoriesKeepsPermissionsAndFollowsLinks) {
    const std::string nested = dir_ + "/a/b/registry.reg";
    RegistryFileStore store(nested);
    store.SetValue(kDriverKey, "ComPort", SettingsValue::Dword(1));
    ASSERT_TRUE(store.Flush());
    EXPECT_TRUE(fs::is_regular_file(nested));

    ASSERT_EQ(chmod(nested.c_str(), 0640), 0);
    const std::string link = dir_ + "/link.reg";
    fs::create_symlink(nested, link);
    RegistryFileStore viaLink(link);
    EXPECT_EQ(Query(viaLink, "ComPort").data, SettingsValue::Dword(1).data);
    viaLink.SetValue(kDriverKey, "ComPort", SettingsValue::Dword(9));
    ASSERT_TRUE(viaLink.Flush());
    EXPECT_TRUE(fs::is_symlink(link));
    struct stat info {};
    ASSERT_EQ(stat(nested.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    RegistryFileStore reread(nested);
    EXPECT_EQ(Query(reread, "ComPort").data, SettingsValue::Dword(9).data);
}

TEST_F(RegistryFileStoreTest, StoreFileLivesInTheUserConfigDirectory) {
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = oldConfig ? oldConfig : "";
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    EXPECT_EQ(RegistryFilePath(), dir_ + "/kavri/registry.reg");
    setenv("XDG_CONFIG_HOME", "relative/path", 1);
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    if (!home.empty()) {
        EXPECT_EQ(RegistryFilePath(), home + "/.config/kavri/registry.reg");
    }
    if (oldConfig) {
        setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace
}  // namespace kavri
