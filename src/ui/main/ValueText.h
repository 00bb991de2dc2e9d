// How the main dialog reads numbers and names from text and shows them, kept apart from the
// widgets so the rules are plain to test.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/NameRule.h"

namespace kavri::ui {

// The whole of `text`, blanks around it aside, as a decimal integer with an optional sign;
// with `allowSign` false a sign makes it no number. False when it is no number. Digits beyond
// the 64-bit range saturate, so an overlong number still reads as out of range rather than
// wrapping.
bool ParseInteger(const QString& text, bool allowSign, int64_t& value);

// True when `value` fits the controller's signed 16-bit positions.
bool FitsControllerRange(int64_t value);

// The "Focus Shift" text of a focuser position: "none" above 10000, the number otherwise.
QString FocusShiftText(int32_t focuserPosition);

// Names as the controller, .fws files and the settings store hold them are windows-1251
// bytes. NameText decodes them for display, up to the first NUL; every byte has a character,
// so NameBytes(NameText(b)) gives b back.
QString NameText(std::string_view bytes);

// Why a typed name is refused (NameRule), in the dialog's words.
QString NameRefusalMessage(NameKind kind, const NameCheck& check);

}  // namespace kavri::ui
