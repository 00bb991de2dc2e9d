// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/DefaultSettingsStore.h"
#include "persist/RegistryFileStore.h"

namespace kavri {

std::unique_ptr<SettingsStore> OpenDefaultSettingsStore() {
    return std::make_unique<RegistryFileStore>();
}

}  // namespace kavri
