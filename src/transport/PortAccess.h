// What decides whether a serial device may be opened, and the words for what goes wrong: the
// checks made before the device is opened (opening a real port raises its modem lines, and
// opening an arbitrary character device can have effects of its own).
#pragma once

#include <string>

#include "transport/SerialPort.h"
#include "transport/UucpLock.h"

namespace kavri {

// Checks `name` without opening it: it exists, is a terminal device, and is not the terminal
// this program runs in. `realPath` gets the device's path with links resolved.
PortStatus CheckSerialDevice(const std::string& name, std::string& realPath);

// The status for an errno of open(2) on the device.
PortStatus OpenErrorStatus(const std::string& realPath, int error);

// The status for a port another program holds: "in use by <who>"; `holder` may be unknown
// (pid 0).
PortStatus HeldByStatus(const LockHolder& holder);
PortStatus HeldByStatus(const std::string& who);

// Who holds a port that was opened exclusively.
inline constexpr const char* kExclusiveHolder = "another program (it opened the port exclusively)";

}  // namespace kavri
