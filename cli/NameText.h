// SPDX-License-Identifier: GPL-3.0-or-later
// Names between the controller and the terminal. The controller, .fws files and the settings
// store hold names as windows-1251 bytes; kavrictl shows them as UTF-8 and encodes what the
// user types back into the code page. Text output shows control characters escaped, so a name
// (or a typed argument echoed in a message) cannot move the cursor or clear the screen.
#pragma once

#include <string>
#include <string_view>

#include "device/NameRule.h"

namespace kavri::cli {

// A stored name as UTF-8, for JSON (which escapes control characters itself).
std::string DecodedName(std::string_view stored);
// A stored name for text output: decoded and escaped.
std::string ShownName(std::string_view stored);

// A windows-1251 name with its Latin and Cyrillic capitals made small, for matching names
// without regard to case.
std::string FoldCase(std::string_view stored);

}  // namespace kavri::cli
