// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/ConfigPaths.h"

#include "platform/DataDirectory.h"
#include "platform/PathText.h"

namespace kavri {

// The same rule as the port map's, so every program finds the store and the ports together.
std::string ConfigDirectory() {
    return PathText(KavriConfigDirectory());
}

std::string RegistryFilePath() {
    return ConfigDirectory() + "/registry.reg";
}

}  // namespace kavri
