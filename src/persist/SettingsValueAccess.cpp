// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/SettingsValueAccess.h"

#include <algorithm>
#include <cstring>

namespace kavri {

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
