// SPDX-License-Identifier: GPL-3.0-or-later
// One row of the filter table.
#pragma once

#include <cstdint>

namespace kavri {

constexpr int kFilterNameSize = 20;
// A focuser position above this value means the filter has no focuser position.
constexpr int32_t kNoFocuserPosition = 10000;

struct FilterEntry {
    char name[kFilterNameSize] = {};  // NUL-terminated; names from the controller have <= 8 chars
    int32_t wheelPosition = 0;        // wheel motor steps
    int32_t focuserPosition = 0;      // focuser steps; above kNoFocuserPosition: none
};

static_assert(sizeof(FilterEntry) == 28);

}  // namespace kavri
