// SPDX-License-Identifier: GPL-3.0-or-later
// Reading stored values by their bytes, whatever type they were stored with, the way the
// device loads its settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "device/SettingsStore.h"

namespace kavri {

// Largest data a numeric value may hold to be read, and largest string data (NUL included).
constexpr size_t kNumberBufferSize = 256;
constexpr size_t kStringBufferSize = 2048;

// Each returns false, leaving `out` unchanged, when the data is too short for the field or too
// large for its read buffer; a value of another type is taken by its bytes.
bool ReadValueInt32(const SettingsValue& value, int32_t& out);  // first 4 bytes, little-endian
bool ReadValueDouble(const SettingsValue& value, double& out);  // first 8 bytes, IEEE 754 LE
bool ReadValueBytes(const SettingsValue& value, void* out, size_t size);  // first `size` bytes
// Text up to the first NUL, at most maxLength characters.
bool ReadValueText(const SettingsValue& value, std::string& out,
                   size_t maxLength = kStringBufferSize - 1);

}  // namespace kavri
