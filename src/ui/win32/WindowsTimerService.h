// SPDX-License-Identifier: GPL-3.0-or-later
// The device's timers (the temperature log) on the thread's message loop: thread timers of
// SetTimer without a window, whose WM_TIMER the modal loops of the dialogs, message boxes and
// file choices dispatch alike, so the log goes on while any of them is open.
#pragma once

#include <windows.h>

#include <map>

#include "platform/TimerService.h"

namespace kavri::ui::win32 {

class WindowsTimerService final : public TimerService {
public:
    WindowsTimerService() = default;
    ~WindowsTimerService() override;
    WindowsTimerService(const WindowsTimerService&) = delete;
    WindowsTimerService& operator=(const WindowsTimerService&) = delete;

    // The system chooses the identifier; `requestedId` is not used. 0 for an interval below
    // 1 ms, an empty callback or a timer the system refused.
    int StartTimer(int requestedId, int intervalMs, Callback callback) override;
    void StopTimer(int timerId) override;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR timerId, DWORD);
    std::map<UINT_PTR, Callback> callbacks_;
};

}  // namespace kavri::ui::win32
