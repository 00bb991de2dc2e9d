// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LocalClock.h"

#include <ctime>

namespace kavri {

LocalDateTime ReadLocalClock() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    LocalDateTime result;
    if (!localtime_r(&now, &parts)) return result;
    result.year = parts.tm_year + 1900;
    result.month = parts.tm_mon + 1;
    result.day = parts.tm_mday;
    result.hour = parts.tm_hour;
    result.minute = parts.tm_min;
    result.second = parts.tm_sec;
    return result;
}

}  // namespace kavri
