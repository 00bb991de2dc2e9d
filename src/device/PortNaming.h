// COM port numbers to serial device paths. On Linux a symbolic link <config>/ports/comN names
// the device for COMN (the emulator makes such links); without a link, the numbers map to the
// usual Linux serial devices: COM1-4 -> /dev/ttyUSB0-3, COM5-8 -> /dev/ttyACM0-3,
// COM9-16 -> /dev/ttyS0-7. On Windows COMN is the system's own port, opened as \\.\COMN
// (which also reaches COM10 and above); whether it exists is the system's list of devices.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
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
    bool named = false;   // true when SetDevice named the device for this number
    bool exists = false;  // true when the device (after following the link) exists
};

class PortNaming {
public:
    // `configDirectory` is the program's configuration directory (KavriConfigDirectory()).
    explicit PortNaming(std::filesystem::path configDirectory);

    // The naming of this process's environment.
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
    // (on Windows just "COM3"); just the device for one named with SetDevice.
    std::string Label(int number) const;

    // Names the device of COM `number` for this naming only, ahead of link and default (a
    // device path given on a command line); ignored outside 1..16.
    void SetDevice(int number, std::string path);

private:
    std::filesystem::path configDirectory_;
    std::map<int, std::string> explicitDevices_;
};

// The naming the device uses when it opens "COM<n>": the one installed with
// SetActivePortNaming, or else a fresh PortNaming::FromEnvironment() at every call, so a
// link made while the program runs is seen at the next connect.
PortNaming ActivePortNaming();
// Installs a naming for the whole process; std::nullopt goes back to the environment's.
// Call it from the thread that connects, before connecting.
void SetActivePortNaming(std::optional<PortNaming> naming);

// The COM number under which a device path given by the user is opened.
constexpr int kExplicitDeviceNumber = 1;
// The COM numbers a connection tries, one at a time in this order, for a user's choice:
// COM1..COM16 for `number` 0, that number alone for 1..16, and for a device path
// kExplicitDeviceNumber, which this installs as naming that path (SetActivePortNaming) until the
// caller puts the naming back.
std::vector<int> PortsToTry(int number, const std::string& devicePath);

}  // namespace kavri
