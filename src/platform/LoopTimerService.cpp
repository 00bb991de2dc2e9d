// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LoopTimerService.h"

#include <climits>

namespace kavri {

LoopTimerService::LoopTimerService() = default;

LoopTimerService::~LoopTimerService() = default;

int LoopTimerService::StartTimer(int requestedId, int intervalMs, Callback callback) {
    if (intervalMs < 1 || !callback) return 0;
    int id;
    {
        std::lock_guard lock(mutex_);
        id = requestedId;
        if (id <= 0 || timers_.count(id)) {
            while (timers_.count(nextId_)) ++nextId_;
            id = nextId_++;
        }
        const std::chrono::milliseconds interval(intervalMs);
        timers_[id] = Timer{interval, Clock::now() + interval, std::move(callback)};
    }
    // A running loop may be asleep until a later deadline; let it recompute.
    wakeup_.Wake();
    return id;
}

void LoopTimerService::StopTimer(int timerId) {
    std::lock_guard lock(mutex_);
    timers_.erase(timerId);
}

int LoopTimerService::RunningCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(timers_.size());
}

void LoopTimerService::Stop() {
    stopRequested_.store(true);
    wakeup_.Wake();
}

void LoopTimerService::Run(const volatile std::sig_atomic_t* stopFlag) {
    auto stopping = [&] { return stopRequested_.load() || (stopFlag && *stopFlag != 0); };
    while (!stopping()) {
        int dueId = 0;
        Callback callback;
        Clock::time_point nextDue = Clock::time_point::max();
        const auto now = Clock::now();
        {
            std::lock_guard lock(mutex_);
            for (auto& [id, timer] : timers_) {
                if (timer.due <= now && !dueId) {
                    dueId = id;
                    callback = timer.callback;
                    // Ticks missed while a callback ran long are dropped, not replayed in a
                    // burst: the next one comes a full interval from now.
                    timer.due += timer.interval;
                    if (timer.due <= now) timer.due = now + timer.interval;
                }
                if (timer.due < nextDue) nextDue = timer.due;
            }
        }
        if (dueId) {
            callback();
            continue;
        }
        int waitMs = -1;
        if (nextDue != Clock::time_point::max()) {
            auto remaining =
                std::chrono::ceil<std::chrono::milliseconds>(nextDue - Clock::now()).count();
            waitMs =
                static_cast<int>(remaining < 0 ? 0 : (remaining > INT_MAX ? INT_MAX : remaining));
        }
        // A signal ends the wait too, and the loop looks at the flag again.
        wakeup_.Wait(waitMs);
    }
    stopRequested_.store(false);
    wakeup_.Clear();
}

}  // namespace kavri
