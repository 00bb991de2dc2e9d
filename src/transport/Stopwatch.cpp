// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/Stopwatch.h"

#include <limits>

namespace kavri {

double Stopwatch::ElapsedMillis() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
        .count();
}

double Stopwatch::ElapsedSeconds() const {
    return ElapsedMillis() / 1000.0;
}

int32_t Stopwatch::ElapsedMs() const {
    // A program left running for more than 24 days would overflow the 32-bit count; the
    // conversion of such a value is undefined, so it saturates instead.
    const double ms = ElapsedMillis();
    if (ms >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(ms);
}

}  // namespace kavri
