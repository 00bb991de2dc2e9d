// SPDX-License-Identifier: GPL-3.0-or-later
// The settings store the programs of this platform share: on Linux the settings file in the
// user's configuration folder, on Windows the registry (where the separate Windows focuser
// driver reads the same values).
#pragma once

#include <memory>

#include "device/SettingsStore.h"

namespace kavri {

std::unique_ptr<SettingsStore> OpenDefaultSettingsStore();

}  // namespace kavri
