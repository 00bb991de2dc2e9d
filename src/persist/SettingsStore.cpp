#include "persist/SettingsStore.h"

namespace kavri {

SettingsValue SettingsValue::Dword(int32_t value) {
    const auto raw = static_cast<uint32_t>(value);
    return {SettingsValueType::Dword,
            {static_cast<uint8_t>(raw), static_cast<uint8_t>(raw >> 8),
             static_cast<uint8_t>(raw >> 16), static_cast<uint8_t>(raw >> 24)}};
}

SettingsValue SettingsValue::Binary(const void* bytes, size_t size) {
    const auto* begin = static_cast<const uint8_t*>(bytes);
    return {SettingsValueType::Binary, std::vector<uint8_t>(begin, begin + size)};
}

SettingsValue SettingsValue::String(const std::string& text) {
    SettingsValue value{SettingsValueType::String, std::vector<uint8_t>(text.begin(), text.end())};
    value.data.push_back(0);
    return value;
}

}  // namespace kavri
