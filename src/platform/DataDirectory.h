// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program keeps its per-user files: the configuration directory (port links,
// settings) and the data directory (temperature logs). On Linux both follow the XDG base
// directory rules; on Windows they are the user's application data folders (roaming for the
// configuration, local for the logs), as Windows programs keep theirs. The environment is
// injectable so tests never touch the real home directory.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace kavri {

// Looks up one environment variable; std::nullopt when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;

// The environment of this process (getenv; on Windows the Unicode environment, as UTF-8).
std::optional<std::string> ProcessEnvironment(const std::string& name);

// $HOME, or the password database entry of the current user when HOME is unset, empty or
// relative; /tmp when there is neither. Every program uses this one rule. On Windows: the
// user's profile folder (%USERPROFILE%), or the system's record of it.
std::filesystem::path HomeDirectory(const EnvironmentLookup& environment);

// $XDG_CONFIG_HOME/kavri, or ~/.config/kavri. A relative XDG value is ignored, as the XDG
// rules require, so a stray relative setting never scatters files into the working directory.
// On Windows: %APPDATA%\Kavri.
std::filesystem::path KavriConfigDirectory(
    const EnvironmentLookup& environment = ProcessEnvironment);

// $XDG_DATA_HOME/kavri, or ~/.local/share/kavri (same rules as above). On Windows:
// %LOCALAPPDATA%\Kavri, a folder the user can write (the root of C: is not).
std::filesystem::path KavriDataDirectory(const EnvironmentLookup& environment = ProcessEnvironment);

}  // namespace kavri
