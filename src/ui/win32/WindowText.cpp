// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/WindowText.h"

#include "platform/WideTextWin32.h"

namespace kavri::ui::win32 {

std::string WindowText(HWND window) {
    if (window == nullptr) return {};
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return WideToUtf8(text);
}

}  // namespace kavri::ui::win32
