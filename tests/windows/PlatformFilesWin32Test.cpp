// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 files under the neutral headers: files opened as regular files only, atomic
// replacement, the user's folders, port names, the timer loop and the serial port's refusals.
// Folders carry Cyrillic names: a profile folder on a Russian system does too.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/DataDirectory.h"
#include "platform/LoopTimerService.h"
#include "platform/PathText.h"
#include "transport/PortNaming.h"
#include "platform/RegularFile.h"
#include "device/TemperatureLog.h"
#include "platform/AtomicFileWriter.h"
#include "support/TempDir.h"
#include "transport/SerialPort.h"

namespace kavri {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

class Win32FilesTest : public ::testing::Test {
protected:
    Win32FilesTest() { fs::create_directory(PathFromText(folder_)); }
    std::string File(const char* name) const { return folder_ + "\\" + name; }

    TempDir dir_;
    const std::string folder_ = dir_.File("Обсерватория");
};

TEST_F(Win32FilesTest, OpensRegularFilesOnlyAndKeepsTheirModes) {
    WriteFileText(File("old.log"), "old text");
    WriteFileText(File("rows.csv"), "a\r\n");
    struct Case {
        std::string path;
        RegularFileMode mode;
        bool opens;
        std::string content;  // after writing "new" to an opened file
    };
    const Case cases[] = {
        {File("old.log"), RegularFileMode::Truncate, true, "new"},
        {File("rows.csv"), RegularFileMode::Append, true, "a\r\nnew"},
        {File("fresh.log"), RegularFileMode::Truncate, true, "new"},
        {folder_, RegularFileMode::Append, false, ""},
        {"NUL", RegularFileMode::Truncate, false, ""},
        {File("missing"), RegularFileMode::Read, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string reason;
        bool missing = false;
        std::FILE* file = OpenRegularFile(c.path, c.mode, &reason, &missing);
        ASSERT_EQ(file != nullptr, c.opens) << reason;
        if (!file) {
            EXPECT_FALSE(reason.empty());
            EXPECT_EQ(missing, c.path == File("missing"));
            continue;
        }
        EXPECT_GE(std::fputs("new", file), 0);
        EXPECT_EQ(std::fclose(file), 0);
        EXPECT_EQ(ReadFileText(c.path), c.content);
    }
}

TEST_F(Win32FilesTest, TemperatureLogWritesItsDailyFileInAUnicodeFolder) {
    TemperatureLog log(PathFromText(folder_), [] {
        return LocalDateTime{2024, 3, 14, 21, 5, 0};
    });
    const auto sample = [] { return TemperatureSample{{-3.25f}, 12040, "Red"}; };
    ASSERT_TRUE(log.Append(sample));
    ASSERT_TRUE(log.Append(sample));
    EXPECT_EQ(ReadFileText(File("term_log_2024-03-14.csv")),
              "Time,T0,Focus,Filter\r\n21:05:00,-3.25,12040,Red\r\n21:05:00,-3.25,12040,Red\r\n");
}

TEST_F(Win32FilesTest, AtomicWriteReplacesTheFileAndLeavesReadOnlyFilesAlone) {
    const std::string target = File("tonight.fws");
    WriteFileText(target, "old");
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(target, "new settings", 12, &error)) << error;
    EXPECT_EQ(ReadFileText(target), "new settings");

    SetFileAttributesW(PathFromText(target).c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(WriteFileAtomically(target, "lost", 4, &error));
    EXPECT_EQ(error, "the file is read-only");
    EXPECT_EQ(ReadFileText(target), "new settings");
    SetFileAttributesW(PathFromText(target).c_str(), FILE_ATTRIBUTE_NORMAL);
    // Only the target is left: no temporary file beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(PathFromText(folder_)), fs::directory_iterator()),
              1);
}

TEST(Win32FoldersTest, UserFoldersComeFromAbsoluteVariablesOrTheSystem) {
    const auto lookup = [](std::string local, std::string roaming) {
        return [=](const std::string& name) -> std::optional<std::string> {
            if (name == "LOCALAPPDATA") return local;
            if (name == "APPDATA") return roaming;
            return std::nullopt;
        };
    };
    const auto given = lookup("C:\\Users\\Иван\\AppData\\Local", "D:\\Roaming");
    EXPECT_EQ(KavriDataDirectory(given), fs::path(u8"C:\\Users\\Иван\\AppData\\Local\\Kavri"));
    EXPECT_EQ(KavriConfigDirectory(given), fs::path("D:\\Roaming\\Kavri"));
    // Relative or empty values are ignored: the system's own folders, never the working folder.
    const auto ignored = lookup("relative", "");
    for (const fs::path& folder : {KavriDataDirectory(ignored), KavriConfigDirectory(ignored)}) {
        SCOPED_TRACE(PathText(folder));
        EXPECT_TRUE(folder.is_absolute());
        EXPECT_EQ(folder.filename(), "Kavri");
    }
}

TEST(Win32PortsTest, ComNumbersAreTheSystemsPortsAndOthersAreRefusedUntouched) {
    const PortNaming naming({});
    EXPECT_EQ(naming.DevicePath(12), "\\\\.\\COM12");
    EXPECT_EQ(naming.DevicePath(17), "");
    EXPECT_EQ(naming.Label(3), "COM3");

    TempDir dir;
    WriteFileText(dir.File("notes.txt"), "keep");
    const struct {
        std::string name;
        PortProblem problem;
    } cases[] = {{"\\\\.\\COM99", PortProblem::kNoDevice},
                 {dir.File("notes.txt"), PortProblem::kNotTerminal},
                 {"NUL", PortProblem::kNotTerminal}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PortStatus status;
        EXPECT_EQ(OpenSerialPort(c.name, 9600, &status), nullptr);
        EXPECT_EQ(status.problem, c.problem);
        EXPECT_EQ(InspectSerialPort(c.name).problem, c.problem);
    }
    EXPECT_EQ(ReadFileText(dir.File("notes.txt")), "keep");
}

// Ctrl+C reaches the loop from a thread the system starts: Stop() from another thread wakes
// a loop that sleeps until a far deadline.
TEST(Win32LoopTest, TimersFireAndAStopFromAnotherThreadEndsTheWait) {
    LoopTimerService loop;
    int ticks = 0;
    std::thread stopper;
    loop.StartTimer(1, 10, [&] {
        if (++ticks < 3) return;
        loop.StopTimer(1);
        stopper = std::thread([&] { loop.Stop(); });
    });
    loop.StartTimer(2, 3600000, [] {});
    const auto start = std::chrono::steady_clock::now();
    loop.Run();
    stopper.join();
    EXPECT_EQ(ticks, 3);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

}  // namespace
}  // namespace kavri
