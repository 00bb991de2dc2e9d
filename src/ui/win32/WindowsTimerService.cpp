// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/WindowsTimerService.h"

namespace kavri::ui::win32 {

namespace {
// A thread timer's procedure gets no pointer of ours: the services of this thread are found
// by the timer's identifier, which the system makes unique per thread.
thread_local std::map<UINT_PTR, WindowsTimerService*> t_services;
}  // namespace

WindowsTimerService::~WindowsTimerService() {
    while (!callbacks_.empty()) StopTimer(static_cast<int>(callbacks_.begin()->first));
}

int WindowsTimerService::StartTimer(int, int intervalMs, Callback callback) {
    if (intervalMs < 1 || !callback) return 0;
    const UINT_PTR id = SetTimer(nullptr, 0, static_cast<UINT>(intervalMs), &WindowsTimerService::Tick);
    if (id == 0) return 0;
    callbacks_[id] = std::move(callback);
    t_services[id] = this;
    return static_cast<int>(id);
}

void WindowsTimerService::StopTimer(int timerId) {
    const auto id = static_cast<UINT_PTR>(timerId);
    if (callbacks_.erase(id) == 0) return;
    KillTimer(nullptr, id);
    t_services.erase(id);
}

void CALLBACK WindowsTimerService::Tick(HWND, UINT, UINT_PTR timerId, DWORD) {
    const auto service = t_services.find(timerId);
    if (service == t_services.end()) return;
    const auto callback = service->second->callbacks_.find(timerId);
    if (callback == service->second->callbacks_.end()) return;
    // A copy: the callback may stop its own timer.
    const Callback call = callback->second;
    call();
}

}  // namespace kavri::ui::win32
