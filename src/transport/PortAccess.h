// SPDX-License-Identifier: GPL-3.0-or-later
// Who holds a serial port, and the words for a port another program holds: the same on every
// platform. How much the platform can tell differs: Linux names the holder through the lock
// files of serial programs, while Windows only refuses the second exclusive open.
#pragma once

#include <optional>
#include <string>

#include "transport/SerialPort.h"

namespace kavri {

// The live process that holds a port.
struct LockHolder {
    long pid = 0;
    std::string program;  // its program name; empty when unknown
};

// The status for a port another program holds: "in use by <who>"; `holder` may be unknown
// (pid 0).
PortStatus HeldByStatus(const LockHolder& holder);
PortStatus HeldByStatus(const std::string& who);

// Who holds a port that was opened exclusively.
inline constexpr const char* kExclusiveHolder = "another program (it opened the port exclusively)";

// Whether the device's port is held by another running copy of this program (a client that
// started the INDI driver twice). False where the platform cannot name the holder.
bool HeldByAnotherCopyOfThisProgram(const std::string& devicePath);

}  // namespace kavri
