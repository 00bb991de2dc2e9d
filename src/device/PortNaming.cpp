#include "device/PortNaming.h"

#include "device/DataDirectory.h"

namespace kavri {

bool IsComPortNumber(int number) {
    return number >= kFirstComPort && number <= kLastComPort;
}

PortNaming::PortNaming(std::filesystem::path configDirectory)
    : configDirectory_(std::move(configDirectory)) {}

PortNaming PortNaming::FromEnvironment() {
    return PortNaming(KavriConfigDirectory());
}

void PortNaming::SetDevice(int number, std::string path) {
    if (IsComPortNumber(number)) explicitDevices_[number] = std::move(path);
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
