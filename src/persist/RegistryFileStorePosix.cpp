// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/RegistryFileStore.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/AtomicFileWriter.h"
#include "persist/RegistryValueText.h"
#include "persist/SharedFileAccess.h"

namespace kavri {
namespace {

constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE\\";
// A settings store is a few kilobytes; anything near this size is not one, and reading it
// whole would only exhaust memory.
constexpr size_t kMaxStoreSize = 64u << 20;
// Skipped lines listed one by one in the notices; the rest are counted.
constexpr size_t kListedSkippedLines = 10;
constexpr size_t kNoticeTextLength = 80;

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

std::string ValueId(const std::string& fullKeyPath, const std::string& name) {
    return FoldRegistryName(fullKeyPath) + '\n' + FoldRegistryName(name);
}

// A line of the file as it may be shown in a log: control characters masked, long text cut.
std::string Printable(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, kNoticeTextLength)) {
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    }
    if (text.size() > kNoticeTextLength) out += "...";
    return out;
}

// Removes the temporary files of saves that never finished: a program killed between writing
// its temporary file (".<name>.tmp-<pid>-<n>", see WriteFileAtomically) and renaming it. Every
// save holds the store's lock while its temporary file exists, so one found by a save that
// holds the lock belongs to a program that died.
void RemoveTemporariesOfDeadSaves(const std::string& target) {
    namespace fs = std::filesystem;
    const fs::path file(target);
    const std::string prefix = "." + file.filename().string() + ".tmp-";
    const auto isNumber = [](std::string_view text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    std::error_code error;
    const fs::path directory = file.has_parent_path() ? file.parent_path() : fs::path(".");
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        const std::string_view rest = std::string_view(name).substr(prefix.size());
        const size_t dash = rest.find('-');
        if (dash == std::string_view::npos || !isNumber(rest.substr(0, dash)) ||
            !isNumber(rest.substr(dash + 1))) {
            continue;
        }
        std::error_code ignored;
        if (it->symlink_status(ignored).type() == fs::file_type::regular)
            fs::remove(it->path(), ignored);
    }
}

}  // namespace

RegistryFileStore::RegistryFileStore(std::string path) : path_(std::move(path)) {
    Reload();
}

std::string RegistryFileStore::LockPath() const {
    std::string target;
    if (!ResolveSymbolicLinks(path_, target)) target = path_;
    return target + ".lock";
}

bool RegistryFileStore::Reload() {
    std::string text;
    std::string error;
    FileReadResult result;
    {
        // Best effort: without a lock file (a directory nobody may write) there is no writer
        // to wait for either.
        const FileLock lock(LockPath(), FileLock::Mode::Shared);
        result = ReadRegularFile(path_, kMaxStoreSize, text, error);
    }
    if (result == FileReadResult::Unreadable) {
        notices_.push_back(path_ + ": cannot read the settings (" + error +
                           "); the file is left as it is and nothing is saved to it");
        return false;
    }
    contents_ = ParseRegistryFile(text);
    changes_.clear();
    assumed_.clear();
    createdKeys_.clear();
    const auto& skipped = contents_.SkippedLines();
    for (size_t i = 0; i < skipped.size() && i < kListedSkippedLines; ++i) {
        notices_.push_back(path_ + ": line " + std::to_string(skipped[i].lineNumber) +
                           " not understood, kept as it is: " + Printable(skipped[i].text));
    }
    if (skipped.size() > kListedSkippedLines) {
        notices_.push_back(path_ + ": " + std::to_string(skipped.size() - kListedSkippedLines) +
                           " more lines not understood, kept as they are");
    }
    return true;
}

bool RegistryFileStore::CreateKey(const std::string& keyPath) {
    const auto full = FullKeyPath(keyPath);
    if (!full) return false;
    if (contents_.FindKey(*full) != nullptr) return true;
    contents_.FindOrAddKey(*full);
    createdKeys_.emplace(FoldRegistryName(*full), std::pair(*full, ++sequence_));
    return Flush();
}

bool RegistryFileStore::SetValue(const std::string& keyPath, const std::string& name,
                                 const SettingsValue& value) {
    const auto full = FullKeyPath(keyPath);
    if (!full || !ValidValueName(name)) return false;
    RegistryFileValue stored{name, KindOfType(value.type), value.data};
    RegistryFileKey& key = contents_.FindOrAddKey(*full);

    // Only a content other than the one read from the file is a change: writing back what
    // was read must not revert what another program stored since.
    const std::string id = ValueId(*full, name);
    auto change = changes_.find(id);
    if (change == changes_.end()) {
        std::optional<RegistryFileValue> original;
        const auto assumed = assumed_.find(id);
        if (const RegistryFileValue* existing = key.FindValue(name)) {
            original = *existing;
        } else if (assumed != assumed_.end()) {
            original = assumed->second;
        }
        change =
            changes_.emplace(id, Change{*full, std::move(original), {}, false, ++sequence_}).first;
    }
    const bool unchanged = change->second.original && change->second.original->SameContent(stored);
    const bool wasAssumed = assumed_.count(id) != 0;
    key.SetValue(std::move(stored));
    if (unchanged && !wasAssumed) {
        changes_.erase(change);
    } else {
        change->second.value = *key.FindValue(name);  // with the name as first spelled
        change->second.onlyIfMissing = unchanged;
    }
    return true;
}

void RegistryFileStore::AssumeMissingValue(const std::string& keyPath, const std::string& name,
                                           const SettingsValue& value) {
    const auto full = FullKeyPath(keyPath);
    if (!full || !ValidValueName(name)) return;
    const RegistryFileKey* key = contents_.FindKey(*full);
    if (key != nullptr && key->FindValue(name) != nullptr) return;
    assumed_[ValueId(*full, name)] = RegistryFileValue{name, KindOfType(value.type), value.data};
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
    if (changes_.empty() && createdKeys_.empty()) return true;
    std::string target;
    if (!ResolveSymbolicLinks(path_, target)) return false;
    if (!MakeDirectories(ParentDirectory(target))) return false;

    const FileLock lock(LockPath(), FileLock::Mode::Exclusive);
    if (!lock.Held()) return false;
    RemoveTemporariesOfDeadSaves(target);
    std::string text;
    std::string error;
    const FileReadResult result = ReadRegularFile(path_, kMaxStoreSize, text, error);
    if (result == FileReadResult::Unreadable) return false;  // never replace what we cannot read

    RegistryFileContents current =
        result == FileReadResult::Read ? ParseRegistryFile(text) : RegistryFileContents();
    // Applied in the order they were made, so new keys and values are added in that order.
    std::map<uint64_t, std::pair<const std::string*, const Change*>> inOrder;
    for (const auto& [id, created] : createdKeys_)
        inOrder.emplace(created.second, std::pair(&created.first, nullptr));
    for (const auto& [id, change] : changes_)
        inOrder.emplace(change.order, std::pair(&change.keyPath, &change));
    for (const auto& [order, step] : inOrder) {
        RegistryFileKey& key = current.FindOrAddKey(*step.first);
        const Change* change = step.second;
        if (change == nullptr) continue;
        if (change->onlyIfMissing && key.FindValue(change->value.name) != nullptr) continue;
        key.SetValue(change->value);
    }
    const std::string merged = FormatRegistryFile(current);
    if (result != FileReadResult::Read || merged != text) {
        if (!WriteFileAtomically(path_, merged.data(), merged.size())) return false;
    }
    // The store now holds what the file holds, other programs' values included.
    contents_ = std::move(current);
    changes_.clear();
    assumed_.clear();
    createdKeys_.clear();
    return true;
}

std::vector<std::string> RegistryFileStore::TakeNotices() {
    return std::exchange(notices_, {});
}

}  // namespace kavri
