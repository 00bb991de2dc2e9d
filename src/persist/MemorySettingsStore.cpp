// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/MemorySettingsStore.h"

namespace kavri {

bool MemorySettingsStore::CreateKey(const std::string& keyPath) {
    if (unavailable_) return false;
    keys_[keyPath];
    return true;
}

bool MemorySettingsStore::SetValue(const std::string& keyPath, const std::string& name,
                                   const SettingsValue& value) {
    if (unavailable_) return false;
    Key& key = keys_[keyPath];
    if (key.values.find(name) == key.values.end()) key.order.push_back(name);
    key.values[name] = value;
    return true;
}

bool MemorySettingsStore::QueryValue(const std::string& keyPath, const std::string& name,
                                     SettingsValue& value) const {
    if (unavailable_) return false;
    const auto key = keys_.find(keyPath);
    if (key == keys_.end()) return false;
    const auto found = key->second.values.find(name);
    if (found == key->second.values.end()) return false;
    value = found->second;
    return true;
}

bool MemorySettingsStore::Flush() {
    if (unavailable_) return false;
    ++flushCount_;
    return true;
}

bool MemorySettingsStore::HasKey(const std::string& keyPath) const {
    return keys_.find(keyPath) != keys_.end();
}

std::vector<std::string> MemorySettingsStore::ValueNames(const std::string& keyPath) const {
    const auto key = keys_.find(keyPath);
    return key == keys_.end() ? std::vector<std::string>{} : key->second.order;
}

}  // namespace kavri
