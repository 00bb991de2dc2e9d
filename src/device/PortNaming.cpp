#include "device/PortNaming.h"

#include <system_error>

#include "device/DataDirectory.h"

namespace kavri {

namespace {

bool InRange(int number) {
    return number >= kFirstComPort && number <= kLastComPort;
}

// A link entry counts even when it dangles: the user asked for that device, and opening it
// fails at once, rather than silently falling back to some other serial port.
bool LinkEntryExists(const std::filesystem::path& path) {
    std::error_code error;
    auto status = std::filesystem::symlink_status(path, error);
    return !error && std::filesystem::exists(status);
}

}  // namespace

PortNaming::PortNaming(std::filesystem::path configDirectory)
    : configDirectory_(std::move(configDirectory)) {}

PortNaming PortNaming::FromEnvironment() {
    return PortNaming(KavriConfigDirectory());
}

std::filesystem::path PortNaming::LinkPath(int number) const {
    return configDirectory_ / "ports" / ("com" + std::to_string(number));
}

std::string PortNaming::DefaultDevice(int number) {
    if (!InRange(number)) return {};
    if (number <= 4) return "/dev/ttyUSB" + std::to_string(number - 1);
    if (number <= 8) return "/dev/ttyACM" + std::to_string(number - 5);
    return "/dev/ttyS" + std::to_string(number - 9);
}

void PortNaming::SetDevice(int number, std::string path) {
    if (InRange(number)) explicitDevices_[number] = std::move(path);
}

std::string PortNaming::DevicePath(int number) const {
    if (!InRange(number)) return {};
    if (auto it = explicitDevices_.find(number); it != explicitDevices_.end()) return it->second;
    auto link = LinkPath(number);
    if (LinkEntryExists(link)) return link.string();
    return DefaultDevice(number);
}

PortMapping PortNaming::Describe(int number) const {
    PortMapping mapping;
    mapping.number = number;
    if (!InRange(number)) return mapping;
    auto link = LinkPath(number);
    std::error_code error;
    if (auto it = explicitDevices_.find(number); it != explicitDevices_.end()) {
        mapping.device = it->second;
    } else if (LinkEntryExists(link)) {
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

std::vector<PortMapping> PortNaming::List() const {
    std::vector<PortMapping> mappings;
    for (int number = kFirstComPort; number <= kLastComPort; ++number) {
        mappings.push_back(Describe(number));
    }
    return mappings;
}

namespace {
std::optional<PortNaming>& InstalledNaming() {
    static std::optional<PortNaming> naming;
    return naming;
}
}  // namespace

PortNaming ActivePortNaming() {
    const auto& installed = InstalledNaming();
    return installed ? *installed : PortNaming::FromEnvironment();
}

void SetActivePortNaming(std::optional<PortNaming> naming) {
    InstalledNaming() = std::move(naming);
}

std::vector<int> PortsToTry(int number, const std::string& devicePath) {
    std::vector<int> ports;
    if (!devicePath.empty()) {
        PortNaming naming = PortNaming::FromEnvironment();
        naming.SetDevice(kExplicitDeviceNumber, devicePath);
        SetActivePortNaming(naming);
        ports.push_back(kExplicitDeviceNumber);
    } else if (number > 0) {
        ports.push_back(number);
    } else {
        for (int n = kFirstComPort; n <= kLastComPort; ++n) ports.push_back(n);
    }
    return ports;
}

}  // namespace kavri
