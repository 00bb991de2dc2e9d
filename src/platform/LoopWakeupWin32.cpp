// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include "platform/LoopWakeup.h"

namespace kavri {

// An auto-reset event: set by a wake-up, reset by the wait that it ends. A console control
// handler (Ctrl+C) runs on a thread of its own and may set it.
struct LoopWakeup::Handles {
    HANDLE event = nullptr;
};

LoopWakeup::LoopWakeup() : handles_(std::make_unique<Handles>()) {
    handles_->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

LoopWakeup::~LoopWakeup() {
    if (handles_->event) CloseHandle(handles_->event);
}

void LoopWakeup::Wake() {
    if (handles_->event) SetEvent(handles_->event);
}

void LoopWakeup::Wait(int waitMs) {
    const DWORD limit = waitMs < 0 ? INFINITE : static_cast<DWORD>(waitMs);
    if (handles_->event) {
        WaitForSingleObject(handles_->event, limit);
    } else {
        Sleep(limit == INFINITE ? 100 : limit);  // no event: the caller's deadlines still hold
    }
}

void LoopWakeup::Clear() {
    if (handles_->event) ResetEvent(handles_->event);
}

}  // namespace kavri
