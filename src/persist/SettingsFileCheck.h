// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the contents read from a ".fws" file can be a settings file at all, before any of it
// reaches the controller. A wrongly chosen file (a README, an image, another program's data)
// parses like any other, since the format has no header; sent to the controller, its first
// 144 bytes would become the EEPROM image and could leave a controller that no longer answers
// a probe. The check holds every value to what the controller, this program's dialogs and
// `kavrictl config` can store, so every file this program or the Windows software writes
// passes it.
#pragma once

#include <string>

#include "persist/SettingsFileFormat.h"

namespace kavri {

// Empty when the contents are plausible; otherwise the first field out of range with its
// value, such as "filterCount 101".
std::string SettingsFileProblem(const SettingsFileContents& contents);

}  // namespace kavri
