// SPDX-License-Identifier: GPL-3.0-or-later
// Port naming on Windows: COMN is the system's port of that name.
#include <windows.h>

#include "transport/PortNaming.h"
#include "platform/WideTextWin32.h"

namespace kavri {

namespace {

// The system's name of a DOS device ("COM5"), as a device path ("\\.\COM5") or on its own.
bool DosDeviceExists(std::string name) {
    if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
    wchar_t target[1024];
    return !name.empty() && QueryDosDeviceW(Utf8ToWide(name).c_str(), target, 1024) != 0;
}

}  // namespace

std::filesystem::path PortNaming::LinkPath(int) const {
    return {};
}

std::string PortNaming::DefaultDevice(int number) {
    if (!IsComPortNumber(number)) return {};
    return "\\\\.\\COM" + std::to_string(number);
}

std::string PortNaming::DevicePath(int number) const {
    if (!IsComPortNumber(number)) return {};
    return DefaultDevice(number);
}

PortMapping PortNaming::Describe(int number) const {
    PortMapping mapping;
    mapping.number = number;
    if (!IsComPortNumber(number)) return mapping;
    mapping.device = DefaultDevice(number);
    mapping.exists = DosDeviceExists(mapping.device);
    return mapping;
}

std::string PortNaming::Label(int number) const {
    return "COM" + std::to_string(number);
}

}  // namespace kavri
