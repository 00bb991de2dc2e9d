// SPDX-License-Identifier: GPL-3.0-or-later
#include <signal.h>

#include "cli/Interrupts.h"

namespace kavri::cli {

namespace {

volatile std::sig_atomic_t interruptFlag = 0;
LoopTimerService* interruptedLoop = nullptr;
struct sigaction oldInt {};
struct sigaction oldTerm {};

void OnInterrupt(int) {
    interruptFlag = 1;
    if (interruptedLoop) interruptedLoop->Stop();  // async-signal-safe
}

}  // namespace

InterruptScope::InterruptScope(LoopTimerService& loop) {
    interruptFlag = 0;
    interruptedLoop = &loop;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);
}

InterruptScope::~InterruptScope() {
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    interruptedLoop = nullptr;
}

const volatile std::sig_atomic_t* InterruptScope::Flag() {
    return &interruptFlag;
}

}  // namespace kavri::cli
