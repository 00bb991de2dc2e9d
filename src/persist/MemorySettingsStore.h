// SPDX-License-Identifier: GPL-3.0-or-later
// A settings store held in memory only: for tests and for any run that must not persist.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "device/SettingsStore.h"

namespace kavri {

class MemorySettingsStore : public SettingsStore {
public:
    bool CreateKey(const std::string& keyPath) override;
    bool SetValue(const std::string& keyPath, const std::string& name,
                  const SettingsValue& value) override;
    bool QueryValue(const std::string& keyPath, const std::string& name,
                    SettingsValue& value) const override;
    bool Flush() override;

    bool HasKey(const std::string& keyPath) const;
    // Value names of a key in the order they were first set; empty for a missing key.
    std::vector<std::string> ValueNames(const std::string& keyPath) const;
    // While unavailable every operation fails, as a store without access would.
    void SetUnavailable(bool unavailable) { unavailable_ = unavailable; }
    int FlushCount() const { return flushCount_; }

private:
    struct Key {
        std::vector<std::string> order;
        std::map<std::string, SettingsValue> values;
    };
    std::map<std::string, Key> keys_;
    bool unavailable_ = false;
    int flushCount_ = 0;
};

}  // namespace kavri
