#include "persist/RegistryFileStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "persist/AtomicFileWriter.h"
#include "persist/ConfigPaths.h"

namespace kavri {
namespace {

constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE\\";

// The full path of a key given relative to the root, or nothing when the path cannot be
// written as a section header (empty, or broken by a line end or an empty component).
std::optional<std::string> FullKeyPath(const std::string& keyPath) {
    std::string_view path = keyPath;
    while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    if (path.empty() || path.find_first_of("\r\n") != std::string_view::npos ||
        path.find("\\\\") != std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(kRoot) + std::string(path);
}

bool ValidValueName(const std::string& name) {
    return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

SettingsValueType TypeOfKind(uint32_t kind) {
    if (kind == kRegDword) return SettingsValueType::Dword;
    if (kind == kRegSz || kind == kRegExpandSz) return SettingsValueType::String;
    return SettingsValueType::Binary;
}

uint32_t KindOfType(SettingsValueType type) {
    switch (type) {
        case SettingsValueType::Dword:
            return kRegDword;
        case SettingsValueType::String:
            return kRegSz;
        case SettingsValueType::Binary:
            break;
    }
    return kRegBinary;
}

}  // namespace

RegistryFileStore::RegistryFileStore(std::string path) : path_(std::move(path)) {
    Reload();
}

bool RegistryFileStore::Reload() {
    std::string text;
    const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) return false;
        contents_ = {};
        skippedLines_ = 0;
        return true;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            close(fd);
            return false;
        }
        if (got == 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    contents_ = ParseRegistryFile(text, &skippedLines_);
    return true;
}

bool RegistryFileStore::CreateKey(const std::string& keyPath) {
    const auto full = FullKeyPath(keyPath);
    if (!full) return false;
    contents_.FindOrAddKey(*full);
    return true;
}

bool RegistryFileStore::SetValue(const std::string& keyPath, const std::string& name,
                                 const SettingsValue& value) {
    const auto full = FullKeyPath(keyPath);
    if (!full || !ValidValueName(name)) return false;
    contents_.FindOrAddKey(*full).SetValue({name, KindOfType(value.type), value.data});
    return true;
}

bool RegistryFileStore::QueryValue(const std::string& keyPath, const std::string& name,
                                   SettingsValue& value) const {
    const auto full = FullKeyPath(keyPath);
    if (!full) return false;
    const RegistryFileKey* key = contents_.FindKey(*full);
    const RegistryFileValue* found = key != nullptr ? key->FindValue(name) : nullptr;
    if (found == nullptr) return false;
    value.type = TypeOfKind(found->kind);
    value.data = found->data;
    return true;
}

bool RegistryFileStore::Flush() {
    const auto slash = path_.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(path_.substr(0, slash)))
        return false;
    const std::string text = FormatRegistryFile(contents_);
    return WriteFileAtomically(path_, text.data(), text.size());
}

}  // namespace kavri
