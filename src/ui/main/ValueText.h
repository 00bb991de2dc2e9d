// How the main dialog reads numbers and names from text and shows them, kept apart from the
// widgets so the rules are plain to test.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

namespace kavri::ui {

// The leading decimal integer of `text`: leading blanks and one sign allowed, 0 when the text
// does not start with a number. Digits beyond the 64-bit range saturate, so an overlong
// number still reads as out of range rather than wrapping.
int64_t LeadingInteger(const QString& text);

// The whole of `text`, blanks around it aside, as a decimal integer with an optional sign;
// with `allowSign` false a sign makes it no number. False when it is no number; digits beyond
// the 64-bit range saturate as in LeadingInteger.
bool ParseInteger(const QString& text, bool allowSign, int64_t& value);

// True when `value` fits the controller's signed 16-bit positions.
bool FitsControllerRange(int64_t value);

// The "Focus Shift" text of a focuser position: "none" above 10000, the number otherwise.
QString FocusShiftText(int32_t focuserPosition);

// A name as the controller stores it: UTF-8 cut at a character boundary to at most
// `maxBytes` bytes, so a name of non-ASCII letters is never cut inside a letter.
std::string ControllerName(const QString& text, int maxBytes);

}  // namespace kavri::ui
