// SPDX-License-Identifier: GPL-3.0-or-later
// The settings store on the Windows registry, where the separate Windows focuser driver reads
// the same values. Key paths are relative to HKEY_LOCAL_MACHINE and go to its 32-bit view
// (Software\WOW6432Node on 64-bit Windows): that focuser driver is a 32-bit component and reads
// that view, as every 32-bit program does, so a 64-bit build writes where the driver looks.
// Values keep their registry types (REG_DWORD, REG_BINARY, REG_SZ); strings go through the
// Unicode API, so a reader using the ANSI API gets them in its own code page.
//
// Writing HKEY_LOCAL_MACHINE needs administrator rights. When Windows refuses it, the store
// does not lose the values in silence: from then on it writes them under the same path below
// HKEY_CURRENT_USER, for this user only, and StorageWarning() says so (the programs show it
// once per run). Reads look at that per-user copy first, so the next start sees the values the
// user saved last; a later save that reaches HKEY_LOCAL_MACHINE (run as administrator) removes
// the per-user copy of each value it wrote, so it cannot hide newer machine-wide values.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "device/SettingsStore.h"

namespace kavri {

class SystemRegistryStore final : public SettingsStore {
public:
    enum class Hive { Machine, User };

    // Called before a key is opened for writing; a non-zero result is taken as the Win32 error
    // of that open. Through it tests refuse HKEY_LOCAL_MACHINE as Windows refuses a user
    // without administrator rights.
    using WriteCheck = std::function<long(Hive hive)>;

    explicit SystemRegistryStore(WriteCheck check = {});

    bool CreateKey(const std::string& keyPath) override;
    bool SetValue(const std::string& keyPath, const std::string& name,
                  const SettingsValue& value) override;
    bool QueryValue(const std::string& keyPath, const std::string& name,
                    SettingsValue& value) const override;
    // Values are in the registry as soon as they are set; true when every value set since the
    // last flush was written.
    bool Flush() override;
    std::vector<std::string> TakeNotices() override;
    std::string Location() const override;
    std::string StorageWarning() const override { return warning_; }

    // Where values are written now: Machine until HKEY_LOCAL_MACHINE refused a write.
    Hive WriteHive() const { return writeHive_; }

private:
    bool SetValueIn(Hive hive, const std::wstring& key, const std::wstring& name,
                    const SettingsValue& value, long& status);
    // Opens (creating it) the key where values go now, falling back to HKEY_CURRENT_USER
    // when HKEY_LOCAL_MACHINE is refused.
    long OpenForWrite(const std::wstring& key, void*& handle);
    long Open(Hive hive, const std::wstring& key, bool write, void*& handle) const;
    void RemoveUserCopy(const std::wstring& key, const std::wstring& name);
    void Refused(const std::string& keyPath);

    WriteCheck check_;
    Hive writeHive_ = Hive::Machine;
    bool failedSinceFlush_ = false;
    std::string warning_;
    std::vector<std::string> notices_;
};

}  // namespace kavri
