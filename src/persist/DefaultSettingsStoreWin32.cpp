// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/DefaultSettingsStore.h"
#include "persist/SystemRegistryStore.h"

namespace kavri {

std::unique_ptr<SettingsStore> OpenDefaultSettingsStore() {
    return std::make_unique<SystemRegistryStore>();
}

}  // namespace kavri
