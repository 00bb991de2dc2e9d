// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <optional>

#include "persist/SystemRegistryStore.h"
#include "platform/WideTextWin32.h"

namespace kavri {

namespace {

using Hive = SystemRegistryStore::Hive;

// Beyond this a value is damage, not a setting; it is taken as missing.
constexpr DWORD kMaxValueBytes = 1u << 20;

HKEY RootOf(Hive hive) {
    return hive == Hive::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// HKEY_LOCAL_MACHINE\Software in its 32-bit view, where the 32-bit focuser driver reads; the
// per-user copy lives below HKEY_CURRENT_USER\Software, which both views share.
REGSAM ViewOf(Hive hive) {
    return hive == Hive::Machine ? KEY_WOW64_32KEY : 0;
}

const char* RootName(Hive hive) {
    return hive == Hive::Machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

// A key path as the registry takes it, or nothing for one that would address the root itself
// or a key with an empty name: "", "\\", "A\\\\B". Outer backslashes are dropped.
std::optional<std::wstring> KeyName(const std::string& keyPath) {
    size_t begin = 0;
    size_t end = keyPath.size();
    while (begin < end && keyPath[begin] == '\\') ++begin;
    while (end > begin && keyPath[end - 1] == '\\') --end;
    const std::string path = keyPath.substr(begin, end - begin);
    if (path.empty() || path.find("\\\\") != std::string::npos ||
        path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return Utf8ToWide(path);
}

// A value name with a NUL would be cut there and address another value.
std::optional<std::wstring> ValueName(const std::string& name) {
    if (name.find('\0') != std::string::npos) return std::nullopt;
    return Utf8ToWide(name);
}

std::optional<SettingsValue> ReadValue(HKEY key, const std::wstring& name) {
    DWORD type = 0;
    DWORD size = 0;
    std::vector<uint8_t> data;
    for (;;) {
        const LONG status = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                             data.empty() ? nullptr : data.data(), &size);
        if (status == ERROR_SUCCESS && (!data.empty() || size == 0)) break;
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return std::nullopt;
        if (size > kMaxValueBytes) return std::nullopt;
        data.resize(size);  // the value may grow between the two calls: ask again
    }
    data.resize(size);
    SettingsValue value;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring text(data.size() / sizeof(wchar_t), L'\0');
        if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
        text.resize(std::wcslen(text.c_str()));
        return SettingsValue::String(WideToUtf8(text));
    }
    value.type = type == REG_DWORD ? SettingsValueType::Dword : SettingsValueType::Binary;
    value.data = std::move(data);
    return value;
}

std::string Text(const std::wstring& text) {
    return WideToUtf8(text);
}

}  // namespace

SystemRegistryStore::SystemRegistryStore(WriteCheck check) : check_(std::move(check)) {}

long SystemRegistryStore::Open(Hive hive, const std::wstring& key, bool write,
                               void*& handle) const {
    HKEY opened = nullptr;
    LONG status;
    if (write) {
        if (check_) {
            if (const long refused = check_(hive); refused != 0) return refused;
        }
        status = RegCreateKeyExW(RootOf(hive), key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_READ | KEY_WRITE | ViewOf(hive), nullptr, &opened, nullptr);
    } else {
        status = RegOpenKeyExW(RootOf(hive), key.c_str(), 0, KEY_READ | ViewOf(hive), &opened);
    }
    handle = status == ERROR_SUCCESS ? opened : nullptr;
    return status;
}

void SystemRegistryStore::Refused(const std::string& keyPath) {
    writeHive_ = Hive::User;
    warning_ =
        "HKEY_LOCAL_MACHINE\\" + keyPath +
        " may be written only with administrator rights: the settings are saved for "
        "this user under HKEY_CURRENT_USER\\" +
        keyPath +
        " instead, where other programs and users may not find them (run the program once as "
        "administrator to store them for every user)";
}

long SystemRegistryStore::OpenForWrite(const std::wstring& key, void*& handle) {
    if (writeHive_ == Hive::Machine) {
        const long status = Open(Hive::Machine, key, true, handle);
        if (status != ERROR_ACCESS_DENIED) return status;
        Refused(Text(key));
    }
    return Open(Hive::User, key, true, handle);
}

bool SystemRegistryStore::CreateKey(const std::string& keyPath) {
    const auto key = KeyName(keyPath);
    if (!key) return false;
    void* handle = nullptr;
    const long status = OpenForWrite(*key, handle);
    if (status != ERROR_SUCCESS) {
        notices_.push_back(std::string("cannot create ") + RootName(writeHive_) + "\\" +
                           Text(*key) + ": " + Win32ErrorText(static_cast<DWORD>(status)));
        return false;
    }
    RegCloseKey(static_cast<HKEY>(handle));
    return true;
}

bool SystemRegistryStore::SetValueIn(Hive hive, const std::wstring& key, const std::wstring& name,
                                     const SettingsValue& value, long& status) {
    void* handle = nullptr;
    status = Open(hive, key, true, handle);
    if (status != ERROR_SUCCESS) return false;
    std::vector<uint8_t> bytes = value.data;
    DWORD type = REG_BINARY;
    if (value.type == SettingsValueType::Dword) {
        type = REG_DWORD;
        bytes.resize(sizeof(DWORD), 0);
    } else if (value.type == SettingsValueType::String) {
        // UTF-8 text up to its NUL, stored as UTF-16 with its terminating NUL.
        std::string text(value.data.begin(), value.data.end());
        text.resize(std::strlen(text.c_str()));
        const std::wstring wide = Utf8ToWide(text);
        type = REG_SZ;
        bytes.resize((wide.size() + 1) * sizeof(wchar_t), 0);
        if (!wide.empty()) std::memcpy(bytes.data(), wide.data(), wide.size() * sizeof(wchar_t));
    }
    status =
        RegSetValueExW(static_cast<HKEY>(handle), name.c_str(), 0, type,
                       bytes.empty() ? nullptr : bytes.data(), static_cast<DWORD>(bytes.size()));
    RegCloseKey(static_cast<HKEY>(handle));
    return status == ERROR_SUCCESS;
}

bool SystemRegistryStore::SetValue(const std::string& keyPath, const std::string& name,
                                   const SettingsValue& value) {
    const auto key = KeyName(keyPath);
    const auto valueName = ValueName(name);
    if (!key || !valueName) {
        failedSinceFlush_ = true;
        return false;
    }
    long status = 0;
    bool written = false;
    if (writeHive_ == Hive::Machine) {
        written = SetValueIn(Hive::Machine, *key, *valueName, value, status);
        if (written) {
            RemoveUserCopy(*key, *valueName);
        } else if (status == ERROR_ACCESS_DENIED) {
            Refused(Text(*key));
        }
    }
    if (writeHive_ == Hive::User) written = SetValueIn(Hive::User, *key, *valueName, value, status);
    if (!written) {
        failedSinceFlush_ = true;
        notices_.push_back(std::string("cannot write ") + RootName(writeHive_) + "\\" + Text(*key) +
                           "\\" + name + ": " + Win32ErrorText(static_cast<DWORD>(status)));
    }
    return written;
}

void SystemRegistryStore::RemoveUserCopy(const std::wstring& key, const std::wstring& name) {
    HKEY user = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ | KEY_SET_VALUE, &user) !=
        ERROR_SUCCESS) {
        return;
    }
    RegDeleteValueW(user, name.c_str());
    DWORD values = 0;
    DWORD subkeys = 0;
    const bool empty =
        RegQueryInfoKeyW(user, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        values == 0 && subkeys == 0;
    RegCloseKey(user);
    // The per-user copy is gone once its last value reached the machine-wide key.
    if (empty) RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

bool SystemRegistryStore::QueryValue(const std::string& keyPath, const std::string& name,
                                     SettingsValue& value) const {
    const auto key = KeyName(keyPath);
    const auto valueName = ValueName(name);
    if (!key || !valueName) return false;
    // The per-user copy holds what could not be saved machine-wide: it is the newer value.
    for (const Hive hive : {Hive::User, Hive::Machine}) {
        void* handle = nullptr;
        if (Open(hive, *key, false, handle) != ERROR_SUCCESS) continue;
        std::optional<SettingsValue> found = ReadValue(static_cast<HKEY>(handle), *valueName);
        RegCloseKey(static_cast<HKEY>(handle));
        if (found) {
            value = std::move(*found);
            return true;
        }
    }
    return false;
}

bool SystemRegistryStore::Flush() {
    const bool ok = !failedSinceFlush_;
    failedSinceFlush_ = false;
    return ok;
}

std::vector<std::string> SystemRegistryStore::TakeNotices() {
    std::vector<std::string> notices;
    notices.swap(notices_);
    return notices;
}

std::string SystemRegistryStore::Location() const {
    return std::string("the registry under ") + RootName(writeHive_);
}

}  // namespace kavri
