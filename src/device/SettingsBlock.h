// SPDX-License-Identifier: GPL-3.0-or-later
// The five settings that the settings file stores as one 32-byte record.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kavri {

struct SettingsBlock {
    int32_t ComPort = 0;                   // 0: search COM1 to COM16
    double StepLenInMicrons = 10.0;        // focuser travel per step
    int32_t AscomPreferredTermometer = 0;  // compensation thermometer 0..3
    int32_t AscomFocusShift = 0;           // offset the driver adds to focuser positions
    int32_t AscomMaxFocusPos = 30000;      // largest focuser position offered by the driver
};

// The settings file stores this record byte for byte, padding included.
static_assert(sizeof(SettingsBlock) == 32);
static_assert(offsetof(SettingsBlock, StepLenInMicrons) == 8);
static_assert(offsetof(SettingsBlock, AscomPreferredTermometer) == 16);
static_assert(offsetof(SettingsBlock, AscomFocusShift) == 20);
static_assert(offsetof(SettingsBlock, AscomMaxFocusPos) == 24);

}  // namespace kavri
