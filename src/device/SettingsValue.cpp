// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/SettingsStore.h"

namespace kavri {

SettingsValue SettingsValue::Dword(int32_t value) {
    const auto raw = static_cast<uint32_t>(value);
    SettingsValue result;
    result.type = SettingsValueType::Dword;
    result.data = {static_cast<uint8_t>(raw), static_cast<uint8_t>(raw >> 8),
                   static_cast<uint8_t>(raw >> 16), static_cast<uint8_t>(raw >> 24)};
    return result;
}

SettingsValue SettingsValue::Binary(const void* bytes, size_t size) {
    SettingsValue result;
    result.type = SettingsValueType::Binary;
    const auto* begin = static_cast<const uint8_t*>(bytes);
    if (size > 0) result.data.assign(begin, begin + size);
    return result;
}

SettingsValue SettingsValue::String(const std::string& text) {
    SettingsValue result;
    result.type = SettingsValueType::String;
    result.data.assign(text.begin(), text.end());
    result.data.push_back(0);
    return result;
}

}  // namespace kavri
