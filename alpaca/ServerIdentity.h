// SPDX-License-Identifier: GPL-3.0-or-later
// Who the server and its devices are to clients: names, descriptions, versions, and the
// UniqueIDs, which stay the same across restarts because they live in the settings store.
#pragma once

#include <array>
#include <string>

#include "alpaca/Protocol.h"

namespace kavri {
class SettingsStore;
}

namespace kavri::alpaca {

struct ServerIdentity {
    std::array<std::string, kDeviceKinds> uniqueIds;
    std::string location;  // the machine's name, for the management description
};

// Where the UniqueIDs are kept, relative to HKEY_LOCAL_MACHINE.
inline constexpr char kAlpacaKey[] = "Software\\Kavri\\Alpaca";

// The stored UniqueIDs; one that is missing or unusable is made afresh and stored (nothing is
// written when both are there). `problem` says why a new one could not be saved: it then
// changes at the next start.
std::array<std::string, kDeviceKinds> LoadUniqueIds(SettingsStore& store, std::string& problem);

// "focuser" / "filterwheel": the device type in URLs.
const char* DevicePath(DeviceKind device);
// "Focuser" / "FilterWheel": the device type in the management API.
const char* DeviceType(DeviceKind device);
// The device's name and description for clients.
const char* DeviceName(DeviceKind device);
const char* DeviceDescription(DeviceKind device);
int InterfaceVersion(DeviceKind device);

inline constexpr char kServerName[] = "Kavri Alpaca Server";
inline constexpr char kManufacturer[] = "Kavri Control";
// The program's version ("0.1.0") and the driver version clients compare ("0.1").
const char* ServerVersion();
std::string DriverVersion();

}  // namespace kavri::alpaca
