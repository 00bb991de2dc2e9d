// Why a serial device cannot be used, as OpenSerialPort and InspectSerialPort tell it, and the
// lock files and locks of other serial programs, which keep us off their ports.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "PortTestSupport.h"
#include "support/TempDir.h"
#include "transport/PortAccess.h"

namespace kavri::test {
namespace {

namespace fs = std::filesystem;

// A lock folder of the test's own.
class PortLocks : public testing::Test {
protected:
    void SetUp() override { SetUucpLockDirectory(dir_.Path()); }
    void TearDown() override { SetUucpLockDirectory(std::nullopt); }

    static void WriteLock(const std::string& device, const std::string& content) {
        std::ofstream(UucpLockPath(device), std::ios::binary) << content;
    }
    static std::string ReadLock(const std::string& device) {
        std::ifstream in(UucpLockPath(device), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    TempDir dir_;
};

std::string PidText(long pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10ld\n", pid);
    return text;
}

// The PID of a process that has ended.
long EndedPid() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

TEST(PortProblems, WhatIsNoSerialPortIsRefusedBeforeItIsOpened) {
    TempDir dir;
    std::ofstream(dir.File("plain")) << "not a port";
    struct Case {
        std::string path;
        PortProblem problem;
    };
    const Case cases[] = {
        {dir.File("ttyUSB9"), PortProblem::kNoDevice},
        {dir.File("plain") + "/tty", PortProblem::kNoDevice},
        {dir.File("plain"), PortProblem::kNotTerminal},
        {dir.Path(), PortProblem::kNotTerminal},
        {"/dev/null", PortProblem::kNotTerminal},
        {"/dev/tty", PortProblem::kOwnTerminal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        PortStatus status;
        EXPECT_EQ(OpenSerialPort(c.path, 9600, &status), nullptr);
        EXPECT_EQ(status.problem, c.problem);
        EXPECT_FALSE(status.message.empty());
        EXPECT_EQ(InspectSerialPort(c.path).problem, c.problem);
    }
}

TEST(PortProblems, TheTerminalOnStandardInputIsRefused) {
    ScriptedPeer peer;
    const int saved = dup(0);
    const int terminal = open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    dup2(terminal, 0);
    PortStatus status;
    PortHandle port = OpenSerialPort(peer.SlavePath(), 9600, &status);
    dup2(saved, 0);
    close(saved);
    close(terminal);
    EXPECT_EQ(port, nullptr);
    CloseSerialPort(port);
    EXPECT_EQ(status.problem, PortProblem::kOwnTerminal);
}

TEST_F(PortLocks, ALiveLockKeepsThePortClosedAndAStaleOneIsTakenOver) {
    ScriptedPeer peer;
    const std::string path = peer.SlavePath();
    const long other = getppid();
    struct Case {
        const char* what;
        std::string lock;
        bool refused;
    };
    const Case cases[] = {
        {"live holder", PidText(other), true},
        {"ended holder", PidText(EndedPid()), false},
        {"garbled", "no pid here\n", false},
        {"our PID, left by an earlier process", PidText(getpid()), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteLock(path, c.lock);
        PortStatus status;
        PortHandle port = OpenSerialPort(path, 9600, &status);
        if (c.refused) {
            EXPECT_EQ(port, nullptr);
            EXPECT_EQ(status.problem, PortProblem::kInUse);
            EXPECT_NE(status.message.find("(process " + std::to_string(other) + ")"),
                      std::string::npos)
                << status.message;
            EXPECT_EQ(InspectSerialPort(path).problem, PortProblem::kInUse);
            EXPECT_EQ(ReadLock(path), c.lock);  // another program's lock stays as it was
            continue;
        }
        ASSERT_NE(port, nullptr) << status.message;
        // Ours while the port is open, in the usual format; it keeps others off.
        EXPECT_EQ(ReadLock(path), PidText(getpid()));
        EXPECT_EQ(InspectSerialPort(path).problem, PortProblem::kInUse);
        CloseSerialPort(port);
        EXPECT_FALSE(fs::exists(UucpLockPath(path)));
        EXPECT_EQ(InspectSerialPort(path).problem, PortProblem::kNone);
    }
    // Not a byte went to the port, refused or not.
    peer.ExpectQuiet(50);
    EXPECT_TRUE(peer.WaitIdle(2000));
    EXPECT_TRUE(peer.Received().empty());
}

TEST_F(PortLocks, AFolderThatTakesNoFileLeavesThePortUsable) {
    std::ofstream(dir_.File("plain")) << "x";
    SetUucpLockDirectory(dir_.File("plain") + "/locks");
    ScriptedPeer peer;
    PortHandle port = OpenSerialPort(peer.SlavePath(), 9600);
    EXPECT_NE(port, nullptr);
    CloseSerialPort(port);
}

TEST_F(PortLocks, AnotherProgramsLockOrExclusiveModeKeepsThePortClosed) {
    for (const bool exclusive : {false, true}) {
        SCOPED_TRACE(exclusive ? "exclusive mode" : "lock");
        ScriptedPeer peer;
        const int holder = open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(holder, 0);
        ASSERT_EQ(exclusive ? ioctl(holder, TIOCEXCL) : flock(holder, LOCK_EX), 0);
        PortStatus status;
        // Even a privileged process, which exclusive mode alone does not stop, stays off.
        EXPECT_EQ(OpenSerialPort(peer.SlavePath(), 9600, &status), nullptr);
        EXPECT_EQ(status.problem, PortProblem::kInUse);
        EXPECT_FALSE(fs::exists(UucpLockPath(peer.SlavePath())));
        ioctl(holder, TIOCNXCL);
        close(holder);
        EXPECT_TRUE(peer.Received().empty());
    }
}

// What an unprivileged user meets when opening `path` (kFailed: privileges not dropped).
PortProblem OpenUnprivileged(const std::string& path) {
    const pid_t child = fork();
    if (child == 0) {
        SetUucpLockDirectory(std::string());  // only the device itself decides
        PortStatus status{PortProblem::kFailed, {}};
        if (setgroups(0, nullptr) == 0 && setresgid(65534, 65534, 65534) == 0 &&
            setresuid(65534, 65534, 65534) == 0 && OpenSerialPort(path, 9600, &status)) {
            status = {};
        }
        _exit(static_cast<int>(status.problem));
    }
    int exitStatus = 0;
    waitpid(child, &exitStatus, 0);
    return static_cast<PortProblem>(WEXITSTATUS(exitStatus));
}

TEST(PortProblems, AnUnprivilegedUserLearnsWhatStopsTheOpen) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    EXPECT_NE(OpenErrorStatus(name, EACCES).message.find("usermod -aG"), std::string::npos);
    chmod(name, 0600);
    const PortProblem problem = OpenUnprivileged(name);
    if (geteuid() != 0 || problem == PortProblem::kFailed) GTEST_SKIP() << "cannot act as nobody";
    EXPECT_EQ(problem, PortProblem::kPermission);

    // The terminal's exclusive mode, which stops everybody but root.
    chmod(name, 0666);
    PortHandle held = OpenSerialPort(name, 9600);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(OpenUnprivileged(name), PortProblem::kInUse);
    CloseSerialPort(held);
    EXPECT_EQ(OpenUnprivileged(name), PortProblem::kNone);
    close(slave);
    close(master);
}

}  // namespace
}  // namespace kavri::test
