// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program keeps its own files on this machine.
#pragma once

#include <string>

namespace kavri {

// $XDG_CONFIG_HOME/kavri, or ~/.config/kavri when the variable is unset, empty or relative.
std::string ConfigDirectory();

// The settings store's file: <ConfigDirectory()>/registry.reg.
std::string RegistryFilePath();

}  // namespace kavri
