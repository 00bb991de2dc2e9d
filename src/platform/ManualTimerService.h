// SPDX-License-Identifier: GPL-3.0-or-later
// A timer service driven by hand, for tests: time stands still until Advance() moves it.
#pragma once

#include <map>

#include "platform/TimerService.h"

namespace kavri {

class ManualTimerService : public TimerService {
public:
    // Uses `requestedId` when it is positive and free, the next free identifier otherwise.
    // Returns 0 for an interval below 1 ms or an empty callback.
    int StartTimer(int requestedId, int intervalMs, Callback callback) override;
    void StopTimer(int timerId) override;

    // Moves the clock forward by `ms`, firing every timer that falls due on the way, in the
    // order of their due times (a timer fires once per interval passed).
    void Advance(long long ms);

    // Fires every running timer once now, in identifier order, without moving the clock.
    void Tick();

    bool IsRunning(int timerId) const { return timers_.count(timerId) != 0; }
    int RunningCount() const { return static_cast<int>(timers_.size()); }
    // The interval of a running timer, 0 when it is not running.
    int IntervalOf(int timerId) const;
    long long NowMs() const { return nowMs_; }

private:
    struct Timer {
        int intervalMs;
        long long dueMs;
        Callback callback;
    };

    // Calls a timer's callback; the timer may be stopped (or others started) from inside it.
    void Fire(int timerId);

    std::map<int, Timer> timers_;
    long long nowMs_ = 0;
    int nextId_ = 1;
};

}  // namespace kavri
