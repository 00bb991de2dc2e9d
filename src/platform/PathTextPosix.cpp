// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PathText.h"

namespace kavri {

std::filesystem::path PathFromText(const std::string& text) {
    return std::filesystem::path(text);
}

std::string PathText(const std::filesystem::path& path) {
    return path.string();
}

}  // namespace kavri
