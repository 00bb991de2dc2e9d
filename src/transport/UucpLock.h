// SPDX-License-Identifier: GPL-3.0-or-later
// The lock files through which serial programs on Linux (minicom, picocom, cu, ...) tell each
// other that a port is in use: "<lock folder>/LCK..<device>", holding the PID of the holder.
// A lock that names a live process keeps us off the port; a lock whose process is gone is
// stale and taken over. While we hold a port, our own lock file tells the others.
#pragma once

#include <optional>
#include <string>

#include "transport/PortAccess.h"

namespace kavri {

// The folder of the lock files: the one installed with SetUucpLockDirectory, else the
// environment's KAVRI_LOCK_DIR (set but empty: no lock files at all), else /run/lock, else
// /var/lock. Empty when there is none.
std::string UucpLockDirectory();
// Installs a folder for this process (tests); std::nullopt goes back to the default.
void SetUucpLockDirectory(std::optional<std::string> directory);

// "<folder>/LCK..<name>", where name is the last component of the device's real path (links
// resolved, so ports/com3 -> /dev/ttyUSB0 locks "LCK..ttyUSB0" as minicom and picocom name it).
// Empty without a folder.
std::string UucpLockPath(const std::string& devicePath);

// The live holder of the device's lock, if any (stale and missing locks give nothing); its
// program name comes from /proc/<pid>/comm.
std::optional<LockHolder> UucpLockHolder(const std::string& devicePath);

// The lock this process holds on one device while its port is open.
class UucpLock {
public:
    UucpLock() = default;
    ~UucpLock() { Release(); }
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;

    // Takes the device's lock. False, with `holder` filled, when a live process holds it. A
    // stale lock is removed first. Without a folder we may write to, true and no file: the
    // port's own exclusive open still protects it.
    bool Acquire(const std::string& devicePath, LockHolder& holder);
    // Removes our lock file, if it still names this process.
    void Release();
    // The file we hold; empty when we hold none.
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace kavri
