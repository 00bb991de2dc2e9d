// SPDX-License-Identifier: GPL-3.0-or-later
// The HTTP/1.1 server (Boost.Beast over Asio) on the program's one event-loop thread. Each
// connection reads one request at a time, hands it to the handler and writes the response
// when the handler delivers it, then reads the next (keep-alive). Requests are bounded in
// size, connections in number, and every read and write in time: a client that sends junk,
// stalls or goes away mid-request loses its own connection and harms nobody else.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "alpaca/Protocol.h"

namespace boost::asio {
class io_context;
}

namespace kavri::alpaca {

struct HttpLimits {
    size_t headerBytes = 8 * 1024;
    size_t bodyBytes = 16 * 1024;
    size_t connections = 64;
    // For a whole request to arrive (also the idle time of a kept-alive connection), and for a
    // response to be taken.
    std::chrono::milliseconds timeout = std::chrono::seconds(30);
};

// Parses one request from `bytes` as a connection does, with the same limits. False when the
// bytes do not hold a whole request: `failure` then has the response a connection would send
// (status 0 when it would wait for more bytes instead).
bool ParseRequest(std::string_view bytes, const HttpLimits& limits, HttpRequest& request,
                  HttpResponse& failure);

class HttpServer {
public:
    using Handler = std::function<void(const HttpRequest&, const Respond&)>;

    HttpServer(boost::asio::io_context& io, Handler handler, HttpLimits limits = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on `address` (IPv4 or IPv6) and `port`, 0 for a free one; false with the reason.
    bool Listen(const std::string& address, uint16_t port, std::string& error);
    uint16_t Port() const;
    // Stops accepting and closes every connection; responses still pending are dropped.
    void Stop();
    size_t Connections() const;

    struct Impl;  // shared with the connections, which may outlive the server object

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace kavri::alpaca
