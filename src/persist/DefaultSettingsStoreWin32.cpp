#include "persist/DefaultSettingsStore.h"
#include "persist/SystemRegistryStore.h"

namespace kavri {

std::unique_ptr<SettingsStore> OpenDefaultSettingsStore() {
    return std::make_unique<SystemRegistryStore>();
}

}  // namespace kavri
