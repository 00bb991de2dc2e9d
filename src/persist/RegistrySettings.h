// SPDX-License-Identifier: GPL-3.0-or-later
// Where the device keeps the settings it shares with the focuser driver.
#pragma once

namespace kavri {

// Key path of the focuser driver's settings, relative to HKEY_LOCAL_MACHINE.
inline constexpr char DriverKey[] = "Software\\ASCOM\\Focuser Drivers\\Orvanta.Focuser";

}  // namespace kavri
