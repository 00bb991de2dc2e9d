// SPDX-License-Identifier: GPL-3.0-or-later
// The checks made before a serial device is opened on POSIX systems, and the words for what
// goes wrong: opening a real port raises its modem lines, and opening an arbitrary character
// device can have effects of its own.
#pragma once

#include <string>

#include "transport/PortAccess.h"

namespace kavri {

// Checks `name` without opening it: it exists, is a terminal device, and is not the terminal
// this program runs in. `realPath` gets the device's path with links resolved.
PortStatus CheckSerialDevice(const std::string& name, std::string& realPath);

// The status for an errno of open(2) on the device.
PortStatus OpenErrorStatus(const std::string& realPath, int error);

}  // namespace kavri
