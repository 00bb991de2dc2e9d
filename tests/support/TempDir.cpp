// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "platform/PathText.h"

namespace kavri::test {

// create_directory fails for a name that exists, so parallel tests never share a folder.
TempDir::TempDir() {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        const std::filesystem::path candidate = base / ("kavri-test-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) path_ = PathText(candidate);
    }
    if (path_.empty()) throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(PathFromText(path_), ignored);
}

std::string TempDir::File(std::string_view name) const {
    return PathText(PathFromText(path_) / PathFromText(std::string(name)));
}

std::string ReadFileText(const std::string& path) {
    std::ifstream in(PathFromText(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFileText(const std::string& path, std::string_view text) {
    std::ofstream(PathFromText(path), std::ios::binary) << text;
}

}  // namespace kavri::test
