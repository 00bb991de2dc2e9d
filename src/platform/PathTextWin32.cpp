// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PathText.h"
#include "platform/WideTextWin32.h"

namespace kavri {

std::filesystem::path PathFromText(const std::string& text) {
    return std::filesystem::path(Utf8ToWide(text));
}

std::string PathText(const std::filesystem::path& path) {
    return WideToUtf8(path.native());
}

}  // namespace kavri
