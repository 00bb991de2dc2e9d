// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT and SIGTERM through Asio's signal set.
#include "alpaca/StopRequests.h"

#include <csignal>

namespace kavri::alpaca {

struct StopRequests::State {
    explicit State(boost::asio::io_context& io) : signals(io, SIGINT, SIGTERM) {}
    boost::asio::signal_set signals;
};

StopRequests::StopRequests(boost::asio::io_context& io, std::function<void()> stop)
    : state_(std::make_unique<State>(io)) {
    state_->signals.async_wait([stop = std::move(stop)](boost::system::error_code error, int) {
        if (!error) stop();
    });
}

StopRequests::~StopRequests() {
    state_.reset();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

}  // namespace kavri::alpaca
