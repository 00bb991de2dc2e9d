// SPDX-License-Identifier: GPL-3.0-or-later
// A unique temporary directory for one test, removed with its contents at the end.
#pragma once

#include <string>
#include <string_view>

namespace kavri::test {

class TempDir {
public:
    // Creates a fresh directory below the system's temporary folder ($TMPDIR or /tmp).
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path of `name` inside the directory (nothing is created).
    std::string File(std::string_view name) const;

private:
    std::string path_;
};

// The whole content of a file (empty when it cannot be read), and writing one.
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, std::string_view text);

}  // namespace kavri::test
