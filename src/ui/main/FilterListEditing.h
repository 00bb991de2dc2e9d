// Text rules of the filter list's cells, kept apart from the widgets so they are plain to test.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

namespace kavri::ui {

// The leading decimal integer of `text`: leading blanks and one sign allowed, 0 when the text
// does not start with a number. Digits beyond the 64-bit range saturate, so an overlong
// number still reads as out of range rather than wrapping.
int64_t LeadingInteger(const QString& text);

// True when `value` fits the controller's signed 16-bit positions.
bool FitsControllerRange(int64_t value);

// The "Focus Shift" text of a focuser position: "none" above 10000, the number otherwise.
QString FocusShiftText(int32_t focuserPosition);

// A name as the controller stores it: UTF-8 cut at a character boundary to at most
// `maxBytes` bytes, so a name of non-ASCII letters is never cut inside a letter.
std::string ControllerName(const QString& text, int maxBytes);

}  // namespace kavri::ui
