// SPDX-License-Identifier: GPL-3.0-or-later
// The console's control events through SetConsoleCtrlHandler. The C runtime's signal() sees
// only Ctrl+C and Ctrl+Break; closing the console window, logging off and shutting down come
// as events of their own, after which Windows ends the process as soon as the handler returns.
#include "alpaca/StopRequests.h"

#include <windows.h>

#include <mutex>

namespace kavri::alpaca {

namespace {

// A console handler is process-wide: the one StopRequests object it serves.
std::mutex gate;
boost::asio::io_context* target = nullptr;
std::function<void()> onStop;
bool requested = false;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    {
        std::lock_guard<std::mutex> lock(gate);
        if (!target) return FALSE;  // the next handler: Windows' own ends the process
        if (!requested) {
            requested = true;
            boost::asio::post(*target, onStop);
        }
    }
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // The window is closing, or the session ends: the process ends when this returns, so the
    // handler waits while the main thread stops the server, closes the port and saves the
    // settings; the end of main then ends the process, this thread with it. Windows allows
    // about 5 s after a closed window before it ends the process itself.
    Sleep(INFINITE);
    return TRUE;
}

}  // namespace

struct StopRequests::State {};

StopRequests::StopRequests(boost::asio::io_context& io, std::function<void()> stop)
    : state_(std::make_unique<State>()) {
    {
        std::lock_guard<std::mutex> lock(gate);
        target = &io;
        onStop = std::move(stop);
        requested = false;
    }
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopRequests::~StopRequests() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    std::lock_guard<std::mutex> lock(gate);
    target = nullptr;
    onStop = nullptr;
}

}  // namespace kavri::alpaca
