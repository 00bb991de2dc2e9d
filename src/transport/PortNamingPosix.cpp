// SPDX-License-Identifier: GPL-3.0-or-later
// Port naming on Linux: a link <config>/ports/comN, or the usual serial device of the number.
#include <system_error>

#include "platform/PortMapLocation.h"
#include "transport/PortNaming.h"

namespace kavri {

namespace {

// A link entry counts even when it dangles: the user asked for that device, and opening it
// fails at once, rather than silently falling back to some other serial port.
bool LinkEntryExists(const std::filesystem::path& path) {
    std::error_code error;
    auto status = std::filesystem::symlink_status(path, error);
    return !error && std::filesystem::exists(status);
}

}  // namespace

std::filesystem::path PortNaming::LinkPath(int number) const {
    return PortMapLinkPath(configDirectory_, number);
}

std::string PortNaming::DefaultDevice(int number) {
    if (!IsComPortNumber(number)) return {};
    if (number <= 4) return "/dev/ttyUSB" + std::to_string(number - 1);
    if (number <= 8) return "/dev/ttyACM" + std::to_string(number - 5);
    return "/dev/ttyS" + std::to_string(number - 9);
}

std::string PortNaming::DevicePath(int number) const {
    if (!IsComPortNumber(number)) return {};
    auto link = LinkPath(number);
    if (LinkEntryExists(link)) return link.string();
    return DefaultDevice(number);
}

PortMapping PortNaming::Describe(int number) const {
    PortMapping mapping;
    mapping.number = number;
    if (!IsComPortNumber(number)) return mapping;
    auto link = LinkPath(number);
    std::error_code error;
    if (LinkEntryExists(link)) {
        mapping.linked = true;
        mapping.device = link.string();
        auto target = std::filesystem::read_symlink(link, error);
        // A plain file or directory in place of a link is reported as itself.
        mapping.target = error ? link.string() : target.string();
    } else {
        mapping.device = DefaultDevice(number);
    }
    error.clear();
    mapping.exists = std::filesystem::exists(mapping.device, error) && !error;
    return mapping;
}

std::string PortNaming::Label(int number) const {
    const PortMapping mapping = Describe(number);
    const std::string name = "COM" + std::to_string(number);
    if (mapping.device.empty()) return name;
    return name + " (" + (mapping.linked ? mapping.target : mapping.device) + ")";
}

}  // namespace kavri
