// Names between the controller and the terminal. The controller, .fws files and the settings
// store hold names as windows-1251 bytes; kavrictl shows them as UTF-8 and encodes what the
// user types back into the code page. Text output shows control characters escaped, so a name
// (or a typed argument echoed in a message) cannot move the cursor or clear the screen.
#pragma once

#include <string>
#include <string_view>

namespace kavri::cli {

// A stored name as UTF-8, for JSON (which escapes control characters itself).
std::string DecodedName(std::string_view stored);
// A stored name for text output: decoded and escaped.
std::string ShownName(std::string_view stored);

// UTF-8 text with every control character (C0, DEL, C1) escaped the way JSON writes it:
// "\n", "\r", "\t", otherwise "\u00XX"; a byte that is not UTF-8 becomes "\xNN". Other text,
// backslashes included, is unchanged, so escaping twice changes nothing more.
std::string Escaped(std::string_view text);

// Encodes a name typed by the user into windows-1251. False with the reason when it holds a
// character the code page lacks or a control character; `what` names the argument in the
// reason ("filter name").
bool EncodeTypedName(const std::string& typed, const char* what, std::string& stored,
                     std::string& reason);

// A windows-1251 name with its Latin and Cyrillic capitals made small, for matching names
// without regard to case.
std::string FoldCase(std::string_view stored);

}  // namespace kavri::cli
