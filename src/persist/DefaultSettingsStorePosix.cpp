#include "persist/DefaultSettingsStore.h"
#include "persist/RegistryFileStore.h"

namespace kavri {

std::unique_ptr<SettingsStore> OpenDefaultSettingsStore() {
    return std::make_unique<RegistryFileStore>();
}

}  // namespace kavri
