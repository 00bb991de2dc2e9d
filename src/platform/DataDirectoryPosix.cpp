// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DataDirectory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace kavri {

namespace {

std::filesystem::path PasswordDatabaseHome() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir && result->pw_dir[0] != '\0') {
        return result->pw_dir;
    }
    // No home at all (a bare service account): a folder every user can write, so the
    // settings and the port map still have one absolute place.
    return "/tmp";
}

std::filesystem::path XdgDirectory(const EnvironmentLookup& environment, const char* variable,
                                   const std::filesystem::path& homeRelativeDefault) {
    if (auto value = environment(variable); value && !value->empty()) {
        std::filesystem::path path(*value);
        if (path.is_absolute()) return path / "kavri";
    }
    return HomeDirectory(environment) / homeRelativeDefault / "kavri";
}

}  // namespace

std::optional<std::string> ProcessEnvironment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

std::filesystem::path HomeDirectory(const EnvironmentLookup& environment) {
    // A relative HOME would scatter files into the working directory: ignored, like a relative
    // XDG value.
    if (auto home = environment("HOME"); home && !home->empty() && home->front() == '/')
        return *home;
    return PasswordDatabaseHome();
}

std::filesystem::path KavriConfigDirectory(const EnvironmentLookup& environment) {
    return XdgDirectory(environment, "XDG_CONFIG_HOME", ".config");
}

std::filesystem::path KavriDataDirectory(const EnvironmentLookup& environment) {
    return XdgDirectory(environment, "XDG_DATA_HOME", std::filesystem::path(".local") / "share");
}

}  // namespace kavri
