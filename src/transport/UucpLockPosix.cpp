// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/UucpLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>

namespace kavri {

namespace {

// The process-wide state below is created once and never destroyed: a port may be closed by
// a static object's destructor (a driver's device at exit), after function-local statics of
// this file would already be gone.
std::mutex& Guard() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::optional<std::string>& InstalledDirectory() {
    static auto* directory = new std::optional<std::string>;
    return *directory;
}

// The lock files this process holds, so that a lock naming our own PID is told apart from a
// stale one left by an earlier process that had the same PID.
std::set<std::string>& HeldByUs() {
    static auto* paths = new std::set<std::string>;
    return *paths;
}

bool IsDirectory(const char* path) {
    struct stat info {};
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

enum class LockState { kNone, kStale, kLive };

// The PID a lock file holds, in the usual form: ten ASCII characters (leading blanks) and a
// newline. 0 when the file holds no such number.
long ParsePid(const std::string& text) {
    const size_t start = text.find_first_not_of(" \t");
    size_t end = start;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    if (start == std::string::npos || end == start || end - start > 9 ||
        text.find_first_not_of(" \t\r\n", end) != std::string::npos) {
        return 0;
    }
    return std::strtol(text.c_str() + start, nullptr, 10);
}

std::string ProgramName(long pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

LockState ReadLock(const std::string& path, LockHolder& holder) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        // A lock we may not even read is someone's: leave the port alone. Any other error
        // means there is no lock file (or no usable folder) to honour.
        return errno == EACCES || errno == EPERM ? LockState::kLive : LockState::kNone;
    }
    char bytes[64];
    const ssize_t count = read(fd, bytes, sizeof bytes);
    close(fd);
    // An empty or garbled file cannot name a holder; it is what a crash mid-write leaves.
    const long pid = count > 0 ? ParsePid(std::string(bytes, static_cast<size_t>(count))) : 0;
    if (pid <= 0) return LockState::kStale;
    holder.pid = pid;
    if (pid == getpid()) {
        std::lock_guard lock(Guard());
        return HeldByUs().count(path) != 0 ? LockState::kLive : LockState::kStale;
    }
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return LockState::kStale;
    holder.program = ProgramName(pid);
    return LockState::kLive;
}

// Writes our lock under a temporary name and links it into place, so no other program ever
// sees the lock file without its PID. False when the folder takes no file from us.
enum class CreateResult { kCreated, kExists, kUnwritable };

CreateResult CreateLock(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const std::string temporary =
        folder + "/LTMP." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1));
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return CreateResult::kUnwritable;
    // The usual format: the PID as ten ASCII characters, right-aligned, and a newline.
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(getpid()));
    const bool written = write(fd, text, static_cast<size_t>(length)) == length;
    close(fd);
    CreateResult result = CreateResult::kUnwritable;
    if (written) {
        if (link(temporary.c_str(), path.c_str()) == 0) {
            result = CreateResult::kCreated;
        } else if (errno == EEXIST) {
            result = CreateResult::kExists;
        }
    }
    unlink(temporary.c_str());
    return result;
}

}  // namespace

std::string UucpLockDirectory() {
    {
        std::lock_guard lock(Guard());
        if (InstalledDirectory()) return *InstalledDirectory();
    }
    if (const char* configured = std::getenv("KAVRI_LOCK_DIR")) return configured;
    for (const char* folder : {"/run/lock", "/var/lock"}) {
        if (IsDirectory(folder)) return folder;
    }
    return {};
}

void SetUucpLockDirectory(std::optional<std::string> directory) {
    std::lock_guard lock(Guard());
    InstalledDirectory() = std::move(directory);
}

std::string UucpLockPath(const std::string& devicePath) {
    const std::string folder = UucpLockDirectory();
    if (folder.empty()) return {};
    std::error_code error;
    std::filesystem::path real = std::filesystem::canonical(devicePath, error);
    if (error) real = devicePath;
    return folder + "/LCK.." + real.filename().string();
}

std::optional<LockHolder> UucpLockHolder(const std::string& devicePath) {
    const std::string path = UucpLockPath(devicePath);
    LockHolder holder;
    if (path.empty() || ReadLock(path, holder) != LockState::kLive) return std::nullopt;
    return holder;
}

bool UucpLock::Acquire(const std::string& devicePath, LockHolder& holder) {
    Release();
    const std::string path = UucpLockPath(devicePath);
    if (path.empty()) return true;
    // Another program may create or remove its lock between our steps: a few rounds settle it.
    for (int round = 0; round < 3; ++round) {
        holder = LockHolder{};
        const LockState state = ReadLock(path, holder);
        if (state == LockState::kLive) return false;
        if (state == LockState::kStale) unlink(path.c_str());
        switch (CreateLock(path)) {
            case CreateResult::kCreated: {
                std::lock_guard lock(Guard());
                HeldByUs().insert(path);
                path_ = path;
                return true;
            }
            case CreateResult::kUnwritable:
                return true;
            case CreateResult::kExists:
                break;
        }
    }
    holder = LockHolder{};
    return ReadLock(path, holder) != LockState::kLive;
}

void UucpLock::Release() {
    if (path_.empty()) return;
    LockHolder holder;
    // Only a file that still names us is ours to remove.
    if (ReadLock(path_, holder) != LockState::kNone && holder.pid == getpid()) {
        unlink(path_.c_str());
    }
    std::lock_guard lock(Guard());
    HeldByUs().erase(path_);
    path_.clear();
}

}  // namespace kavri
