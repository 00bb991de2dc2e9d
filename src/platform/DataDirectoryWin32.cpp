// SPDX-License-Identifier: GPL-3.0-or-later
// The user's folders on Windows: %APPDATA%\Kavri for configuration, %LOCALAPPDATA%\Kavri for
// the daily temperature logs. A variable that is unset, empty or not an absolute path is
// ignored, and the system's record of the folder is asked instead.
#include <windows.h>
// windows.h first: the shell headers need its types.
#include <knownfolders.h>
#include <shlobj.h>

#include <cwchar>

#include "platform/DataDirectory.h"
#include "platform/WideTextWin32.h"

namespace kavri {

namespace {

// Paths are held as UTF-8 text; a profile folder may well hold Cyrillic letters.
std::filesystem::path Utf8Path(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::optional<std::filesystem::path> AbsoluteVariable(const EnvironmentLookup& environment,
                                                      const char* name) {
    if (auto value = environment(name); value && !value->empty()) {
        std::filesystem::path path = Utf8Path(*value);
        if (path.is_absolute()) return path;
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> KnownFolder(const KNOWNFOLDERID& id) {
    wchar_t* folder = nullptr;
    std::optional<std::filesystem::path> path;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &folder)) && folder && *folder) {
        path = std::filesystem::path(folder);
    }
    CoTaskMemFree(folder);
    return path;
}

std::filesystem::path UserFolder(const EnvironmentLookup& environment, const char* variable,
                                 const KNOWNFOLDERID& id, const char* profileSubfolder) {
    if (auto path = AbsoluteVariable(environment, variable)) return *path / "Kavri";
    if (auto path = KnownFolder(id)) return *path / "Kavri";
    // Neither: where Windows puts that folder below the profile.
    return HomeDirectory(environment) / "AppData" / profileSubfolder / "Kavri";
}

}  // namespace

std::optional<std::string> ProcessEnvironment(const std::string& name) {
    const wchar_t* value = _wgetenv(Utf8ToWide(name).c_str());
    if (!value) return std::nullopt;
    return WideToUtf8(value);
}

std::filesystem::path HomeDirectory(const EnvironmentLookup& environment) {
    if (auto path = AbsoluteVariable(environment, "USERPROFILE")) return *path;
    if (auto path = KnownFolder(FOLDERID_Profile)) return *path;
    // No profile at all: the system's temporary folder, which every user can write.
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length > 0 && length <= MAX_PATH) return std::filesystem::path(buffer);
    return std::filesystem::path(L"C:\\");
}

std::filesystem::path KavriConfigDirectory(const EnvironmentLookup& environment) {
    return UserFolder(environment, "APPDATA", FOLDERID_RoamingAppData, "Roaming");
}

std::filesystem::path KavriDataDirectory(const EnvironmentLookup& environment) {
    return UserFolder(environment, "LOCALAPPDATA", FOLDERID_LocalAppData, "Local");
}

}  // namespace kavri
