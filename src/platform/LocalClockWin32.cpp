// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include "platform/LocalClock.h"

namespace kavri {

LocalDateTime ReadLocalClock() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    LocalDateTime result;
    result.year = now.wYear;
    result.month = now.wMonth;
    result.day = now.wDay;
    result.hour = now.wHour;
    result.minute = now.wMinute;
    result.second = now.wSecond;
    return result;
}

}  // namespace kavri
