// SPDX-License-Identifier: GPL-3.0-or-later
// Lets the thread of a timer loop sleep until its next deadline, and lets another thread or a
// signal handler wake it early. A pipe on POSIX, an event on Windows.
#pragma once

#include <memory>

namespace kavri {

class LoopWakeup {
public:
    LoopWakeup();
    ~LoopWakeup();
    LoopWakeup(const LoopWakeup&) = delete;
    LoopWakeup& operator=(const LoopWakeup&) = delete;

    // Wakes the waiter, or the next Wait() when nobody waits yet. Async-signal-safe, and
    // callable from any thread. Wake-ups are not counted: several make one.
    void Wake();

    // Sleeps up to `waitMs` (negative: without limit) or until woken; consumes the wake-up.
    // On POSIX a signal arriving during the wait ends it too.
    void Wait(int waitMs);

    // Forgets a wake-up nobody consumed.
    void Clear();

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
};

}  // namespace kavri
