// SPDX-License-Identifier: GPL-3.0-or-later
// A timer service for programs without an event loop of their own (the command-line tool):
// Run() sleeps until the next timer falls due, calls it, and sleeps again, until a stop is
// requested or a signal flag is raised. Nothing spins while waiting.
#pragma once

#include <atomic>
#include <chrono>
#include <csignal>
#include <map>
#include <mutex>

#include "platform/LoopWakeup.h"
#include "platform/TimerService.h"

namespace kavri {

class LoopTimerService : public TimerService {
public:
    LoopTimerService();
    ~LoopTimerService() override;
    LoopTimerService(const LoopTimerService&) = delete;
    LoopTimerService& operator=(const LoopTimerService&) = delete;

    // Uses `requestedId` when it is positive and free, the next free identifier otherwise.
    // Returns 0 for an interval below 1 ms or an empty callback. Callable from callbacks and
    // from other threads.
    int StartTimer(int requestedId, int intervalMs, Callback callback) override;
    void StopTimer(int timerId) override;

    // Serves the timers on the calling thread until Stop() is called or `*stopFlag` (when
    // given) becomes non-zero. The flag is looked at whenever the wait ends, and a signal
    // arriving during the wait ends it; a handler that also calls Stop() is never missed.
    // Returns at once, without firing, when a stop is already pending; the pending stop is
    // consumed, so a later Run() serves again.
    void Run(const volatile std::sig_atomic_t* stopFlag = nullptr);

    // Ends Run() as soon as the running callback (if any) returns. Async-signal-safe: it only
    // stores an atomic flag and wakes the loop (a byte into a pipe, or an event on Windows),
    // so a signal handler may call it.
    void Stop();

    int RunningCount() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        std::chrono::milliseconds interval;
        Clock::time_point due;
        Callback callback;
    };

    mutable std::mutex mutex_;
    std::map<int, Timer> timers_;
    int nextId_ = 1;
    std::atomic<bool> stopRequested_{false};
    LoopWakeup wakeup_;
};

}  // namespace kavri
