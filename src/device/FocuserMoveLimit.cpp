// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/FocuserMoveLimit.h"

#include <climits>
#include <cstdlib>

namespace kavri {

int32_t FocuserMoveLimitMs(int32_t from, int32_t to, uint16_t speed, uint16_t backlash) {
    // The controller does not move faster than 300 steps per second, whatever is configured.
    unsigned stepsPerSecond = speed > 300 ? 300u : speed;
    // A speed of 0 would divide by zero; the slowest speed the settings offer (10) gives the
    // most generous limit without becoming unbounded.
    if (stepsPerSecond == 0) stepsPerSecond = 10;
    // The distance of two 32-bit positions needs 33 bits.
    const long long distance = std::llabs(static_cast<long long>(from) - to);
    // Evaluated in extended precision before truncating, so exact multiples stay whole (300
    // steps at 300 per second: 3000 ms, not 2999) and thirds truncate down (1000: 5333 ms).
    const long double limit = static_cast<long double>(distance) * (1000.0L / stepsPerSecond) +
                              11.0L * backlash + 2000.0L;
    if (limit >= static_cast<long double>(INT32_MAX)) return INT32_MAX;
    return static_cast<int32_t>(limit);
}

}  // namespace kavri
