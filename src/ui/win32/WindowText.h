// SPDX-License-Identifier: GPL-3.0-or-later
// A window's text as the dialogs' code holds text: UTF-8.
#pragma once

#include <windows.h>

#include <string>

namespace kavri::ui::win32 {

std::string WindowText(HWND window);

}  // namespace kavri::ui::win32
