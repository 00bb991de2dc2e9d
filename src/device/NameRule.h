// SPDX-License-Identifier: GPL-3.0-or-later
// The one rule for the names a user gives filters and thermometers, applied by every front end
// (kavrictl, the desktop program, the INDI driver) before a name is stored. The controller, the
// settings store and .fws files keep names as windows-1251 bytes, one per character; a name
// must be text of that code page, without control characters (a TAB or DEL stored in the
// controller's EEPROM shows as garbage in every program), and no longer than its place holds.
// A longer name is refused rather than cut, so nothing is stored that the user did not see.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "device/ControllerConfig.h"

namespace kavri {

enum class NameKind { Filter, Thermometer };

// Longest names, in characters: the controller keeps 8 per filter; a thermometer name labels a
// reading in the panels and in the driver's properties, where a long one would be cut anyway.
constexpr size_t kMaxFilterNameLength = kConfigNameLength;
constexpr size_t kMaxThermometerNameLength = 32;
size_t MaxNameLength(NameKind kind);

enum class NameProblem {
    None,
    Unsupported,  // a character the code page lacks, or text that is not UTF-8
    Control,      // a control character (C0, DEL, C1, NUL)
    TooLong,
};

struct NameCheck {
    NameProblem problem = NameProblem::None;
    std::string character;  // Unsupported: the character (UTF-8), or the bytes that are no UTF-8
    std::string bytes;      // the name in windows-1251; empty for Unsupported
};

// Checks a name the user typed (UTF-8). A name that encodes to `current`, the bytes stored now,
// is taken whatever it holds: it was stored elsewhere (the controller's own software, a .fws
// file) and sending it back unchanged is no new name.
NameCheck CheckTypedName(NameKind kind, std::string_view typed, std::string_view current = {});

// Why a name is refused, for messages in English: "filter name 'X' is longer than 8 characters".
std::string NameRefusal(NameKind kind, std::string_view typed, const NameCheck& check);

// UTF-8 text with every control character (C0, DEL, C1) escaped the way JSON writes it:
// "\n", "\r", "\t", otherwise "\u00XX"; a byte that is not UTF-8 becomes "\xNN". Other text,
// backslashes included, is unchanged, so escaping twice changes nothing more. Messages that
// quote what a user typed use it, so the quote cannot move a terminal's cursor.
std::string Escaped(std::string_view text);

}  // namespace kavri
