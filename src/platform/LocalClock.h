// SPDX-License-Identifier: GPL-3.0-or-later
// The local calendar date and time of day, read through an injectable clock so that the
// daily files can be tested across midnight without waiting for one.
#pragma once

#include <functional>

namespace kavri {

struct LocalDateTime {
    int year = 0;    // e.g. 2009
    int month = 0;   // 1..12
    int day = 0;     // 1..31
    int hour = 0;    // 0..23
    int minute = 0;  // 0..59
    int second = 0;  // 0..60 (leap second)
};

using LocalClock = std::function<LocalDateTime()>;

// The system's local time (localtime_r of the current time; GetLocalTime on Windows).
LocalDateTime ReadLocalClock();

}  // namespace kavri
