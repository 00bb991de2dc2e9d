// SPDX-License-Identifier: GPL-3.0-or-later
// The port a user chooses to connect to, as every program takes it: Auto (a search of COM1 to
// COM16), one COM number, or a device path. One parser for every front end, so a port typed on
// a command line, in an INDI property or on a setup page means the same everywhere.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kavri {

struct PortChoice {
    int number = 0;          // 0: Auto; 1..16: COMn (when no path is given)
    std::string devicePath;  // non-empty: open this device

    bool IsPath() const { return !devicePath.empty(); }
    bool operator==(const PortChoice&) const = default;
};

// "auto", "N" or "COMN" (any case, N = 1..16, blanks around ignored), or a device path: text
// holding a '/', or a Windows device name such as "\\.\COM20" (the only way to name a port
// above COM16 there). std::nullopt for anything else.
std::optional<PortChoice> ParsePortChoice(std::string_view text);

// The choice as a user types it: "auto", "COM3", or the path. A number outside 1..16 reads as
// "auto", as a stored ComPort of 0 does.
std::string PortChoiceText(const PortChoice& choice);

}  // namespace kavri
