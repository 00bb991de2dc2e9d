// SPDX-License-Identifier: GPL-3.0-or-later
// Why a serial device cannot be used, as OpenSerialPort and InspectSerialPort tell it, and the
// lock files and locks of other serial programs, which keep us off their ports.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "support/ScriptedPeer.h"
#include "support/TempDir.h"
#include "transport/PortAccessPosix.h"
#include "transport/UucpLock.h"

namespace kavri::test {
namespace {

TEST(PortProblems, WhatIsNoSerialPortOrOurOwnTerminalIsRefusedBeforeItIsOpened) {
    TempDir dir;
    WriteFileText(dir.File("plain"), "not a port");
    ScriptedPeer peer;  // our own terminal once it is on standard input
    const int saved = dup(0), terminal = open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    dup2(terminal, 0);
    const std::pair<std::string, PortProblem> cases[] = {
        {dir.File("ttyUSB9"), PortProblem::kNoDevice},
        {dir.File("plain") + "/tty", PortProblem::kNoDevice},
        {dir.File("plain"), PortProblem::kNotTerminal},
        {dir.Path(), PortProblem::kNotTerminal},
        {"/dev/null", PortProblem::kNotTerminal},
        {"/dev/tty", PortProblem::kOwnTerminal},
        {peer.SlavePath(), PortProblem::kOwnTerminal},
    };
    for (const auto& [path, problem] : cases) {
        SCOPED_TRACE(path);
        PortStatus status;
        EXPECT_EQ(OpenSerialPort(path, 9600, &status), nullptr);
        EXPECT_EQ(status.problem, problem);
        EXPECT_FALSE(status.message.empty());
        EXPECT_EQ(InspectSerialPort(path).problem, problem);
    }
    dup2(saved, 0);
    close(saved);
    close(terminal);
    // Errors of the open itself (the permission case is tried as nobody below).
    EXPECT_NE(OpenErrorStatus("/dev/x", EACCES).message.find("usermod -aG"), std::string::npos);
    EXPECT_EQ(OpenErrorStatus("/dev/x", EBUSY).problem, PortProblem::kInUse);
    EXPECT_EQ(OpenErrorStatus("/dev/x", ENXIO).problem, PortProblem::kNoDevice);
}

std::string PidText(long pid) {  // as the lock files hold it
    const std::string digits = std::to_string(pid);
    return std::string(10 - digits.size(), ' ') + digits + "\n";
}

TEST(PortLocks, ALiveLockOrExclusiveModeKeepsThePortClosedAndAStaleLockIsTakenOver) {
    TempDir dir;
    SetUucpLockDirectory(dir.Path());
    ScriptedPeer peer;
    const std::string path = peer.SlavePath();
    const long other = getppid();
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    waitpid(ended, nullptr, 0);
    const std::pair<std::string, bool> cases[] = {
        {PidText(other), true},      // a live holder
        {PidText(ended), false},     // a holder that has ended
        {"no pid here\n", false},    // garbled
        {PidText(getpid()), false},  // our PID, left by an earlier process
    };
    for (const auto& [lock, refused] : cases) {
        SCOPED_TRACE(lock);
        WriteFileText(UucpLockPath(path), lock);
        PortStatus status;
        PortHandle port = OpenSerialPort(path, 9600, &status);
        EXPECT_EQ(InspectSerialPort(path).problem, PortProblem::kInUse);
        if (refused) {
            EXPECT_EQ(port, nullptr);
            EXPECT_EQ(status.problem, PortProblem::kInUse);
            EXPECT_NE(status.message.find("(process " + std::to_string(other) + ")"),
                      std::string::npos)
                << status.message;
            EXPECT_EQ(ReadFileText(UucpLockPath(path)), lock);  // another program's lock stays
            continue;
        }
        ASSERT_NE(port, nullptr) << status.message;
        EXPECT_EQ(ReadFileText(UucpLockPath(path)), PidText(getpid()));  // ours while open
        CloseSerialPort(port);
        EXPECT_FALSE(std::filesystem::exists(UucpLockPath(path)));
        EXPECT_EQ(InspectSerialPort(path).problem, PortProblem::kNone);
    }
    // A lock folder that takes no file leaves the port usable.
    SetUucpLockDirectory(dir.File("plain/locks"));
    WriteFileText(dir.File("plain"), "x");
    PortHandle port = OpenSerialPort(path, 9600);
    EXPECT_NE(port, nullptr);
    CloseSerialPort(port);
    // Another program's exclusive mode keeps off even a privileged process like this one.
    const int holder = open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
    PortStatus status;
    EXPECT_EQ(OpenSerialPort(path, 9600, &status), nullptr);
    EXPECT_EQ(status.problem, PortProblem::kInUse);
    close(holder);
    SetUucpLockDirectory(std::nullopt);
    peer.ExpectQuiet(50);  // not a byte went to the port, refused or not
    EXPECT_TRUE(peer.WaitIdle(2000));
    EXPECT_TRUE(peer.Received().empty());
}

TEST(PortProblems, AnUnprivilegedUserLearnsThatPermissionIsMissing) {
    ScriptedPeer peer;
    chmod(peer.SlavePath().c_str(), 0600);
    const pid_t child = fork();
    if (child == 0) {
        SetUucpLockDirectory(std::string());  // only the device itself decides
        PortStatus status{PortProblem::kFailed, {}};
        if (setgroups(0, nullptr) == 0 && setresgid(65534, 65534, 65534) == 0 &&
            setresuid(65534, 65534, 65534) == 0 && OpenSerialPort(peer.SlavePath(), 9600, &status))
            status = {};
        _exit(static_cast<int>(status.problem));
    }
    int exitStatus = 0;
    waitpid(child, &exitStatus, 0);
    const auto problem = static_cast<PortProblem>(WEXITSTATUS(exitStatus));
    if (problem == PortProblem::kFailed) GTEST_SKIP() << "cannot act as nobody";
    EXPECT_EQ(problem, PortProblem::kPermission);
}

}  // namespace
}  // namespace kavri::test
