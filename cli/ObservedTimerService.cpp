// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ObservedTimerService.h"

#include <utility>

namespace kavri::cli {

int ObservedTimerService::StartTimer(int requestedId, int intervalMs, Callback callback) {
    if (!callback) return 0;
    return loop_.StartTimer(requestedId, intervalMs, [this, callback = std::move(callback)] {
        callback();
        if (afterTick_) afterTick_();
    });
}

}  // namespace kavri::cli
