// SPDX-License-Identifier: GPL-3.0-or-later
// The server around a controller: the HTTP side with its router, and discovery. Everything
// runs on the thread that runs the io_context.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "alpaca/Controller.h"
#include "alpaca/Discovery.h"
#include "alpaca/HttpServer.h"
#include "alpaca/Router.h"
#include "alpaca/ServerIdentity.h"

namespace kavri::alpaca {

struct ServerOptions {
    std::string listen = "127.0.0.1";
    uint16_t httpPort = 11111;  // 0: a free port
    bool discovery = true;
    uint16_t discoveryPort = kDiscoveryPort;
    bool remoteSetup = false;  // the setup pages take changes from other machines
    HttpLimits limits;
};

class AlpacaServer {
public:
    AlpacaServer(boost::asio::io_context& io, Controller& controller, ServerIdentity identity,
                 ServerOptions options);

    // Listens and starts discovery; false with the reason when the HTTP side cannot listen.
    // Discovery problems do not stop the server: they are in `warnings`.
    bool Start(std::string& error, std::vector<std::string>& warnings);
    void Stop();

    uint16_t Port() const { return http_.Port(); }
    // "http://127.0.0.1:11111", with brackets around an IPv6 address.
    std::string Url() const;
    size_t Connections() const { return http_.Connections(); }

private:
    boost::asio::io_context& io_;
    ServerOptions options_;
    Router router_;
    HttpServer http_;
    std::unique_ptr<Discovery> discovery_;
};

}  // namespace kavri::alpaca
