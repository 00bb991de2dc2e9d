// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ManualTimerService.h"

#include <vector>

namespace kavri {

int ManualTimerService::StartTimer(int requestedId, int intervalMs, Callback callback) {
    if (intervalMs < 1 || !callback) return 0;
    int id = requestedId;
    if (id <= 0 || timers_.count(id)) {
        while (timers_.count(nextId_)) ++nextId_;
        id = nextId_++;
    }
    timers_[id] = Timer{intervalMs, nowMs_ + intervalMs, std::move(callback)};
    return id;
}

void ManualTimerService::StopTimer(int timerId) {
    timers_.erase(timerId);
}

int ManualTimerService::IntervalOf(int timerId) const {
    auto it = timers_.find(timerId);
    return it == timers_.end() ? 0 : it->second.intervalMs;
}

void ManualTimerService::Fire(int timerId) {
    auto it = timers_.find(timerId);
    if (it == timers_.end()) return;
    // A copy, so the callback may stop its own timer without destroying itself mid-call.
    Callback callback = it->second.callback;
    callback();
}

void ManualTimerService::Advance(long long ms) {
    const long long end = nowMs_ + (ms > 0 ? ms : 0);
    for (;;) {
        int nextId = 0;
        long long nextDue = end + 1;
        for (const auto& [id, timer] : timers_) {
            if (timer.dueMs < nextDue) {
                nextDue = timer.dueMs;
                nextId = id;
            }
        }
        if (nextId == 0) break;
        nowMs_ = nextDue;
        auto& timer = timers_.at(nextId);
        timer.dueMs += timer.intervalMs;
        Fire(nextId);
    }
    nowMs_ = end;
}

void ManualTimerService::Tick() {
    std::vector<int> ids;
    for (const auto& entry : timers_) ids.push_back(entry.first);
    for (int id : ids) Fire(id);
}

}  // namespace kavri
