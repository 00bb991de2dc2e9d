// SPDX-License-Identifier: GPL-3.0-or-later
// How the main dialog reads numbers and names from text and shows them, kept apart from the
// window so the rules are plain to test. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "device/NameRule.h"

namespace kavri::ui {

// Blanks (space, tab, line breaks) removed from both ends.
std::string_view TrimBlanks(std::string_view text);

// The whole of `text`, blanks around it aside, as a decimal integer with an optional sign;
// with `allowSign` false a sign makes it no number. False when it is no number. Digits beyond
// the 64-bit range saturate, so an overlong number still reads as out of range rather than
// wrapping.
bool ParseInteger(std::string_view text, bool allowSign, int64_t& value);

// True when `value` fits the controller's signed 16-bit positions.
bool FitsControllerRange(int64_t value);

// The "Focus Shift" text of a focuser position: "none" above 10000, the number otherwise.
std::string FocusShiftText(int32_t focuserPosition);

// Names as the controller, .fws files and the settings store hold them are windows-1251
// bytes. NameText decodes them for display, up to the first NUL; every byte has a character,
// so encoding NameText(b) gives b back.
std::string NameText(std::string_view bytes);

// Why a typed name is refused (NameRule), in the dialog's words.
std::string NameRefusalMessage(NameKind kind, const NameCheck& check);

// A failed device operation as the user reads it: the dialog's own heading, then the reason
// every front end shows (FailureText) below it.
std::string FailureMessage(std::string_view heading, std::string_view reason);

// A temperature with two decimals and a point, whatever the locale.
std::string TemperatureText(float degrees);

}  // namespace kavri::ui
