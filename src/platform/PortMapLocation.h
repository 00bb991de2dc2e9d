// SPDX-License-Identifier: GPL-3.0-or-later
// Where the map of COM numbers to serial devices lives on Linux: a folder "ports" in the
// program's configuration folder, holding a symbolic link comN for each mapped COM number. The
// programs look their ports up there and the emulator registers itself there, so both take
// the place from here.
#pragma once

#include <filesystem>

namespace kavri {

// <configDirectory>/ports/comN.
std::filesystem::path PortMapLinkPath(const std::filesystem::path& configDirectory, int number);

// The same in this process's configuration folder (KavriConfigDirectory()).
std::filesystem::path PortMapLinkPath(int number);

}  // namespace kavri
