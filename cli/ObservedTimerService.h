// SPDX-License-Identifier: GPL-3.0-or-later
// The timer service of one kavrictl run: the timers run on a LoopTimerService, and after every
// tick an observer may look at what the tick did (log-temps counts the rows written).
#pragma once

#include <functional>

#include "platform/LoopTimerService.h"

namespace kavri::cli {

class ObservedTimerService : public TimerService {
public:
    int StartTimer(int requestedId, int intervalMs, Callback callback) override;
    void StopTimer(int timerId) override { loop_.StopTimer(timerId); }

    // Called after each tick of any timer, on the thread running the loop.
    void SetAfterTick(std::function<void()> observer) { afterTick_ = std::move(observer); }

    LoopTimerService& Loop() { return loop_; }

private:
    LoopTimerService loop_;
    std::function<void()> afterTick_;
};

}  // namespace kavri::cli
