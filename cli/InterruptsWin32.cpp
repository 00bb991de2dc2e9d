// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include <atomic>

#include "cli/Interrupts.h"

namespace kavri::cli {

namespace {

volatile std::sig_atomic_t interruptFlag = 0;
std::atomic<LoopTimerService*> interruptedLoop{nullptr};

// Runs on a thread the system starts for the event. Closing the console window, logging off
// or shutting down are left to the system's default (the process ends): Windows ends the
// process after the handler returns anyway.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    interruptFlag = 1;
    if (LoopTimerService* loop = interruptedLoop.load()) loop->Stop();
    return TRUE;
}

}  // namespace

InterruptScope::InterruptScope(LoopTimerService& loop) {
    interruptFlag = 0;
    interruptedLoop = &loop;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

InterruptScope::~InterruptScope() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    interruptedLoop = nullptr;
}

const volatile std::sig_atomic_t* InterruptScope::Flag() {
    return &interruptFlag;
}

}  // namespace kavri::cli
