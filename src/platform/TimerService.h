// SPDX-License-Identifier: GPL-3.0-or-later
// Repeating timers without a window of their own. The desktop program runs them on its event
// loop, the command-line tool on a small loop of its own, tests tick them by hand.
#pragma once

#include <functional>

namespace kavri {

class TimerService {
public:
    using Callback = std::function<void()>;
    virtual ~TimerService() = default;

    // Starts a timer that calls `callback` every `intervalMs` on the caller's thread; returns
    // its identifier, 0 when no timer could be started. `requestedId` is a hint the service
    // may ignore.
    virtual int StartTimer(int requestedId, int intervalMs, Callback callback) = 0;

    // Stops the timer; unknown identifiers are ignored.
    virtual void StopTimer(int timerId) = 0;
};

}  // namespace kavri
