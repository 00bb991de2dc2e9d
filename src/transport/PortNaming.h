// SPDX-License-Identifier: GPL-3.0-or-later
// COM port numbers to serial device paths. On Linux a symbolic link <config>/ports/comN names
// the device for COMN (the emulator makes such links); without a link, the numbers map to the
// usual Linux serial devices: COM1-4 -> /dev/ttyUSB0-3, COM5-8 -> /dev/ttyACM0-3,
// COM9-16 -> /dev/ttyS0-7. On Windows COMN is the system's own port, opened as \\.\COMN
// (which also reaches COM10 and above); whether it exists is the system's list of devices.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kavri {

constexpr int kFirstComPort = 1;
constexpr int kLastComPort = 16;

// True for 1..16.
bool IsComPortNumber(int number);

// How one COM number maps to a device here.
struct PortMapping {
    int number = 0;
    std::string device;   // the path to open: the link itself, or the default device
    std::string target;   // where the link points (empty without a link)
    bool linked = false;  // true when a ports/comN entry decides the device (Linux only)
    bool exists = false;  // true when the device (after following the link) exists
};

class PortNaming {
public:
    // `configDirectory` is the program's configuration directory (KavriConfigDirectory()).
    explicit PortNaming(std::filesystem::path configDirectory);

    // The naming of this process's environment, read afresh at every call, so a link made
    // while the program runs is seen at the next connect.
    static PortNaming FromEnvironment();

    // The path to open for COM `number`; empty for a number outside 1..16.
    std::string DevicePath(int number) const;

    // The mapping of one number, with whether its device exists now.
    PortMapping Describe(int number) const;

    // COM1..COM16 in ascending order.
    std::vector<PortMapping> List() const;

    // The default device of COM `number` when no link overrides it; empty outside 1..16.
    static std::string DefaultDevice(int number);

    // <config>/ports/comN; empty on Windows, where the system names its ports itself.
    std::filesystem::path LinkPath(int number) const;

    // How messages name the port: "COM3 (/dev/ttyUSB0)", with the device a link points to
    // (on Windows just "COM3").
    std::string Label(int number) const;

private:
    std::filesystem::path configDirectory_;
};

}  // namespace kavri
