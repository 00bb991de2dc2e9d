// SPDX-License-Identifier: GPL-3.0-or-later
// Names as the controller, .fws files and the Windows software hold them: single-byte text in
// the Windows Cyrillic code page (windows-1251). Everything else in the programs is UTF-8, so
// names are decoded for display and what the user types is encoded before it is sent.
#pragma once

#include <string>
#include <string_view>

namespace kavri {

// Decodes windows-1251 bytes to UTF-8. ASCII is unchanged. The one byte the code page leaves
// undefined (0x98) decodes to U+0098, so every byte string survives a round trip.
std::string Cp1251ToUtf8(std::string_view bytes);

// Encodes UTF-8 text to windows-1251 into `out`. False, with `out` unchanged, when the text is
// not valid UTF-8 or holds a character the code page lacks; `unsupported` (when given)
// receives that character as UTF-8 (or the bad bytes) so a message can name it.
bool Utf8ToCp1251(std::string_view text, std::string& out, std::string* unsupported = nullptr);

}  // namespace kavri
