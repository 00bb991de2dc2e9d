#include <algorithm>
#include <cstring>

#include "persist/SettingsValueAccess.h"

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

// Data shorter than the field counts as missing rather than being zero-extended: a truncated
// value is more likely damage than intent, and the field's current value is the safer choice.
bool ReadValueBytes(const SettingsValue& value, void* out, size_t size) {
    if (value.data.size() < size || value.data.size() > kNumberBufferSize) return false;
    if (size > 0) std::memcpy(out, value.data.data(), size);
    return true;
}

bool ReadValueInt32(const SettingsValue& value, int32_t& out) {
    uint8_t bytes[4];
    if (!ReadValueBytes(value, bytes, sizeof bytes)) return false;
    out = static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | (uint32_t{bytes[1]} << 8) |
                               (uint32_t{bytes[2]} << 16) | (uint32_t{bytes[3]} << 24));
    return true;
}

bool ReadValueDouble(const SettingsValue& value, double& out) {
    uint8_t bytes[8];
    if (!ReadValueBytes(value, bytes, sizeof bytes)) return false;
    uint64_t raw = 0;
    for (int i = 7; i >= 0; --i) raw = (raw << 8) | bytes[i];
    std::memcpy(&out, &raw, sizeof out);
    return true;
}

bool ReadValueText(const SettingsValue& value, std::string& out, size_t maxLength) {
    if (value.data.size() > kStringBufferSize) return false;
    const auto* chars = reinterpret_cast<const char*>(value.data.data());
    const size_t limit = std::min(value.data.size(), maxLength);
    out.assign(chars, strnlen(chars, limit));
    return true;
}

}  // namespace kavri
