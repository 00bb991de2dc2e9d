// SPDX-License-Identifier: GPL-3.0-or-later
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "transport/PortAccessPosix.h"
#include "transport/UucpLock.h"

namespace kavri {

namespace {

namespace fs = std::filesystem;

// Major numbers of the pseudo-terminal slaves (/dev/pts/N), which sysfs does not list.
constexpr unsigned kFirstPtySlaveMajor = 136;
constexpr unsigned kLastPtySlaveMajor = 143;

PortStatus Problem(PortProblem problem, std::string message) {
    return PortStatus{problem, std::move(message)};
}

// A terminal device, judged from the kernel's device classes so that nothing else (a watchdog,
// a disk, /dev/null) is ever opened. Without sysfs the open and its terminal check decide.
bool IsTerminalDevice(dev_t device) {
    const unsigned majorNumber = major(device);
    if (majorNumber >= kFirstPtySlaveMajor && majorNumber <= kLastPtySlaveMajor) return true;
    std::error_code error;
    if (!fs::is_directory("/sys/dev/char", error)) return true;
    const fs::path entry = "/sys/dev/char/" + std::to_string(majorNumber) + ":" +
                           std::to_string(minor(device)) + "/subsystem";
    const fs::path subsystem = fs::read_symlink(entry, error);
    return !error && subsystem.filename() == "tty";
}

// /dev/tty, or the terminal on standard input, output or error: writing commands into it
// would garble the user's own session, and leave it raw.
bool IsOwnTerminal(dev_t device) {
    if (device == makedev(5, 0)) return true;
    for (int fd = 0; fd <= 2; ++fd) {
        struct stat info {};
        if (isatty(fd) && fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) &&
            info.st_rdev == device) {
            return true;
        }
    }
    return false;
}

std::string GroupOf(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || info.st_gid == 0) return {};
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(4096);
    if (getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
        return {};
    }
    return found->gr_name;
}

}  // namespace

PortStatus CheckSerialDevice(const std::string& name, std::string& realPath) {
    std::error_code error;
    const fs::path real = fs::canonical(name, error);
    if (error) {
        if (error == std::errc::permission_denied) return OpenErrorStatus(name, EACCES);
        return Problem(PortProblem::kNoDevice, "no such device");
    }
    realPath = real.string();
    struct stat info {};
    if (stat(realPath.c_str(), &info) != 0) return OpenErrorStatus(realPath, errno);
    if (!S_ISCHR(info.st_mode) || !IsTerminalDevice(info.st_rdev)) {
        return Problem(PortProblem::kNotTerminal, "not a serial port (not a terminal device)");
    }
    if (IsOwnTerminal(info.st_rdev)) {
        return Problem(PortProblem::kOwnTerminal,
                       "this is the terminal the program runs in, not a serial port");
    }
    return {};
}

PortStatus OpenErrorStatus(const std::string& realPath, int error) {
    switch (error) {
        case EACCES:
        case EPERM: {
            std::string group = GroupOf(realPath);
            if (group.empty()) group = "dialout";
            return Problem(PortProblem::kPermission, "permission denied; add your user to the " +
                                                         group + " group (sudo usermod -aG " +
                                                         group + " $USER) and log in again");
        }
        case EBUSY:
            return HeldByStatus(kExclusiveHolder);
        case ENOENT:
        case ENOTDIR:
        case ENXIO:
        case ENODEV:
            return Problem(PortProblem::kNoDevice, "no such device");
        default:
            return Problem(PortProblem::kFailed, std::string("cannot open: ") + strerror(error));
    }
}

bool HeldByAnotherCopyOfThisProgram(const std::string& devicePath) {
    // The name the kernel keeps for this process, as lock holders are named.
    std::ifstream comm("/proc/self/comm");
    std::string self;
    std::getline(comm, self);
    const auto holder = UucpLockHolder(devicePath);
    return holder && holder->pid != getpid() && !self.empty() && holder->program == self;
}

PortStatus InspectSerialPort(const std::string& name) {
    std::string realPath;
    PortStatus status = CheckSerialDevice(name, realPath);
    if (status.problem != PortProblem::kNone) return status;
    if (const auto holder = UucpLockHolder(realPath)) return HeldByStatus(*holder);
    if (access(realPath.c_str(), R_OK | W_OK) != 0) return OpenErrorStatus(realPath, errno);
    return status;
}

}  // namespace kavri
