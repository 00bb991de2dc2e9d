// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a decimal number whatever locale the program runs in: strtod's syntax with the
// "C" locale's decimal point, so "2.5" reads as 2.5 on a desktop set to a comma locale.
#pragma once

namespace kavri {

// As strtod(text, end), in the "C" locale.
double StrtodClassic(const char* text, char** end);

}  // namespace kavri
