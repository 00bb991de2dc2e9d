// SPDX-License-Identifier: GPL-3.0-or-later
#include "alpaca/AlpacaServer.h"

namespace kavri::alpaca {

AlpacaServer::AlpacaServer(boost::asio::io_context& io, Controller& controller,
                           ServerIdentity identity, ServerOptions options)
    : io_(io),
      options_(std::move(options)),
      router_(controller, std::move(identity), options_.remoteSetup),
      http_(io,
            [this](const HttpRequest& request, const Respond& respond) {
                router_.Handle(request, respond);
            },
            options_.limits) {}

bool AlpacaServer::Start(std::string& error, std::vector<std::string>& warnings) {
    if (!http_.Listen(options_.listen, options_.httpPort, error)) return false;
    if (options_.discovery) {
        discovery_ = std::make_unique<Discovery>(io_, options_.listen, http_.Port(),
                                                 options_.discoveryPort);
        if (!discovery_->Start(warnings)) discovery_.reset();
    }
    return true;
}

void AlpacaServer::Stop() {
    http_.Stop();
    if (discovery_) discovery_->Stop();
}

std::string AlpacaServer::Url() const {
    const bool v6 = options_.listen.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + options_.listen + "]" : options_.listen) + ":" +
           std::to_string(Port());
}

}  // namespace kavri::alpaca
