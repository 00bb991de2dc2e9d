// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PortMapLocation.h"

#include <string>

#include "platform/DataDirectory.h"

namespace kavri {

std::filesystem::path PortMapLinkPath(const std::filesystem::path& configDirectory, int number) {
    return configDirectory / "ports" / ("com" + std::to_string(number));
}

std::filesystem::path PortMapLinkPath(int number) {
    return PortMapLinkPath(KavriConfigDirectory(), number);
}

}  // namespace kavri
