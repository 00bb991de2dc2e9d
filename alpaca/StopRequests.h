// SPDX-License-Identifier: GPL-3.0-or-later
// The system's requests to stop the program: SIGINT and SIGTERM on Linux; on Windows Ctrl+C,
// Ctrl+Break, closing the console window, logging off and shutting down. The first request
// runs `stop` on the io_context's thread; once the object is gone, a request ends the
// program at once as it would without it (a second Ctrl+C while the server waits for the
// controller).
#pragma once

#include <functional>
#include <memory>

#include "alpaca/AsioInclude.h"

namespace kavri::alpaca {

class StopRequests {
public:
    StopRequests(boost::asio::io_context& io, std::function<void()> stop);
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kavri::alpaca
