// SPDX-License-Identifier: GPL-3.0-or-later
// Text at the edge of the Win32 API: the programs hold text (paths included) as UTF-8, the
// Unicode API of Windows takes UTF-16. Only the Win32 files include this header.
#pragma once

#include <string>
#include <string_view>

namespace kavri {

// Bytes that are not UTF-8 become U+FFFD.
std::wstring Utf8ToWide(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string WideToUtf8(std::wstring_view text);

// The system's text for a Win32 error code, without its line end; "error N" without one.
std::string Win32ErrorText(unsigned long error);

}  // namespace kavri
