// SPDX-License-Identifier: GPL-3.0-or-later
// Paths as the programs hold them in text: the file system's bytes on Linux, UTF-8 on Windows.
// std::filesystem converts narrow strings on Windows through the C library's code page, which
// garbles a folder such as C:\Users\Иван; these convert explicitly instead.
#pragma once

#include <filesystem>
#include <string>

namespace kavri {

std::filesystem::path PathFromText(const std::string& text);
std::string PathText(const std::filesystem::path& path);

}  // namespace kavri
