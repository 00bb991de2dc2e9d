// SPDX-License-Identifier: GPL-3.0-or-later
// Processes around the emulator: the kavri-sim program (first line, links, clean shutdown,
// refusals), and a client killed while it holds the line exclusively.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "HostLine.h"
#include "support/ChildProgram.h"
#include "support/TempDir.h"
#include "transport/SerialPort.h"

namespace kavri::sim::test {
namespace {

namespace fs = std::filesystem;
using kavri::test::ChildProgram;
using kavri::test::TempDir;

TEST(SimProgram, ServesOnItsLinkAndRemovesItOnExit) {
    struct Case {
        int signal;
        bool crash;    // a fault: the program dies of it, but the link goes first
        bool ignored;  // started with the signal ignored, as under nohup: it keeps serving
    };
    for (const Case& c :
         {Case{SIGTERM, false, false}, Case{SIGINT, false, false}, Case{SIGHUP, false, false},
          Case{SIGQUIT, false, false}, Case{SIGPIPE, false, false}, Case{SIGUSR2, false, false},
          Case{SIGSEGV, true, false}, Case{SIGABRT, true, false}, Case{SIGHUP, false, true}}) {
        SCOPED_TRACE(std::string(strsignal(c.signal)) + (c.ignored ? " ignored" : ""));
        TempDir dir;
        const std::string link = dir.File("deep/er/wheel");
        ChildProgram program(KAVRI_SIM_PROGRAM, {"--fast", "--link", link}, dir.Path(),
                             {.ignored = c.ignored ? c.signal : 0});
        const std::string device = program.Line();
        ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
        EXPECT_EQ(fs::read_symlink(link), device);
        EXPECT_EQ(HostLine(link).Ask("FWCOUNT", 1), "5");
        program.Signal(c.signal);
        if (c.ignored) {
            EXPECT_FALSE(program.EndsWithin(300));
            EXPECT_EQ(HostLine(link).Ask("FWCOUNT", 1), "5");
            program.Signal(SIGTERM);
        }
        EXPECT_EQ(program.Wait() != 0, c.crash);
        EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    }
}

// Bad usage ends with 2; a link over something it did not make, or a state that is not a
// regular file, with 1 and a message - at once, leaving everything as it was.
TEST(SimProgram, RefusesAtOnceAndReplacesOnlyWhatAKilledEmulatorLeft) {
    TempDir dir;
    fs::create_directories(dir.File("kavri/ports"));
    fs::create_symlink("/dev/ttyUSB0", dir.File("kavri/ports/com1"));  // a real controller
    kavri::test::WriteFileText(dir.File("plain"), "");
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    fs::create_directory(dir.File("directory"));
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{"--com", "17"}, 2, ""},
        {{"--filters", "0"}, 2, ""},
        {{"--fault", "drop,times=zero"}, 2, ""},
        {{"--wheel-only", "--focuser-only"}, 2, ""},
        {{"--bogus"}, 2, ""},
        {{"--fast", "--filters"}, 2, ""},  // an option without its value
        {{"--fast", "--com", "1"}, 1, ""},
        {{"--fast", "--link", dir.File("plain")}, 1, ""},
        // A FIFO without a writer must not block the start.
        {{"--fast", "--state", fifo}, 1, fifo + " is not a regular file"},
        {{"--fast", "--state", dir.File("directory")}, 1, "directory is not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        ChildProgram program(KAVRI_SIM_PROGRAM, c.args, dir.Path());
        ASSERT_TRUE(program.EndsWithin(5000));
        EXPECT_EQ(program.Wait(), c.status);
        EXPECT_NE(program.Stderr().find(c.message), std::string::npos) << program.Stderr();
    }
    EXPECT_EQ(fs::read_symlink(dir.File("kavri/ports/com1")), "/dev/ttyUSB0");
    EXPECT_TRUE(fs::is_regular_file(dir.File("plain")));
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_empty(dir.File("directory")));

    // A link to a pseudo-terminal that no longer exists is what a killed emulator leaves: it
    // is replaced, and the port map keeps its folder after the link is gone.
    const std::string link = dir.File("kavri/ports/com7");
    fs::create_symlink("/dev/pts/999999", link);
    ChildProgram program(KAVRI_SIM_PROGRAM, {"--fast", "--com", "7", "--thermometers", "3"},
                         dir.Path());
    EXPECT_EQ(fs::read_symlink(link), program.Line());
    EXPECT_EQ(HostLine(link).Ask(ReadEE(15, 1), 1), "\x03");
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_TRUE(fs::is_directory(dir.File("kavri/ports")));
}

// A client that dies while it holds the port exclusively must not lock everyone else out.
// Without CAP_SYS_ADMIN, as for an ordinary user: with it, a process opens an exclusive
// terminal regardless, which would hide the fault.
bool DropSysAdmin() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    data[CAP_SYS_ADMIN / 32].effective &= ~(1u << (CAP_SYS_ADMIN % 32));
    data[CAP_SYS_ADMIN / 32].permitted &= ~(1u << (CAP_SYS_ADMIN % 32));
    return ::syscall(SYS_capset, &header, data) == 0;
}

// Exit codes of the scenario below.
enum { kReopened, kNoSetUp, kReleasedTooEarly, kStillLocked, kNoAnswer };

int KillExclusiveClientThenReopen() {
    Emulator emulator(Fast());
    int ready[2];
    if (!DropSysAdmin() || !emulator.Start() || ::pipe(ready) != 0) return kNoSetUp;
    const std::string path = emulator.SlavePath();
    const pid_t client = ::fork();
    if (client == 0) {  // opens the port as the programs do, then waits to be killed
        const char opened = OpenSerialPort(path, 9600) != nullptr ? 'y' : 'n';
        if (::write(ready[1], &opened, 1) == 1) ::pause();
        ::_exit(0);
    }
    char opened = 'n';
    if (::read(ready[0], &opened, 1) != 1 || opened != 'y') return kNoSetUp;
    if (PortHandle other = OpenSerialPort(path, 9600)) {  // the client's while it lives
        CloseSerialPort(other);
        return kReleasedTooEarly;
    }
    ::kill(client, SIGKILL);
    ::waitpid(client, nullptr, 0);

    // The emulator notices the departure on its own thread.
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    PortHandle port = nullptr;
    while (!(port = OpenSerialPort(path, 9600)) && std::chrono::steady_clock::now() < deadline)
        ::poll(nullptr, 0, 10);
    if (!port) return kStillLocked;
    std::uint8_t count = 0;
    const bool answered = SendCommand(port, "FWCOUNT", &count, 1) == 1 && count == '5';
    CloseSerialPort(port);
    return answered ? kReopened : kNoAnswer;
}

TEST(SimLine, KilledExclusiveClientLeavesThePortFree) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(KillExclusiveClientThenReopen());
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kReopened)
        << "1 set-up failed, 2 released too early, 3 still locked, 4 no answer";
}

}  // namespace
}  // namespace kavri::sim::test
