// SPDX-License-Identifier: GPL-3.0-or-later
// Interruption of a long command (log-temps): for the life of an InterruptScope, Ctrl+C (and
// SIGTERM on Linux, Ctrl+Break on Windows) ends the timer loop instead of the process, so the
// device still disconnects and saves its settings.
#pragma once

#include <csignal>

#include "platform/LoopTimerService.h"

namespace kavri::cli {

class InterruptScope {
public:
    explicit InterruptScope(LoopTimerService& loop);
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

    // Raised once an interrupt arrived; for LoopTimerService::Run.
    static const volatile std::sig_atomic_t* Flag();
};

}  // namespace kavri::cli
