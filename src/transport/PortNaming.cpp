// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/PortNaming.h"

#include "platform/DataDirectory.h"

namespace kavri {

bool IsComPortNumber(int number) {
    return number >= kFirstComPort && number <= kLastComPort;
}

PortNaming::PortNaming(std::filesystem::path configDirectory)
    : configDirectory_(std::move(configDirectory)) {}

PortNaming PortNaming::FromEnvironment() {
    return PortNaming(KavriConfigDirectory());
}

std::vector<PortMapping> PortNaming::List() const {
    std::vector<PortMapping> mappings;
    for (int number = kFirstComPort; number <= kLastComPort; ++number) {
        mappings.push_back(Describe(number));
    }
    return mappings;
}

}  // namespace kavri
