// SPDX-License-Identifier: GPL-3.0-or-later
// Every request the server answers, by path: the Alpaca device API under /api/v1, the
// management API under /management, the setup pages under /setup. Device API replies carry
// the client's transaction number and the server's own, which increases with every request.
#pragma once

#include <cstdint>
#include <functional>

#include "alpaca/Controller.h"
#include "alpaca/Protocol.h"
#include "alpaca/ServerIdentity.h"

namespace kavri::alpaca {

class Router {
public:
    // `remoteSetup`: the setup pages take changes from other machines too.
    Router(Controller& controller, ServerIdentity identity, bool remoteSetup);

    // `respond` runs once, at once or when the controller has finished what was asked.
    void Handle(const HttpRequest& request, const Respond& respond);

    // The HTTP error reply for a request the server cannot take at all.
    static HttpResponse PlainError(int status, std::string message);

private:
    void HandleDevice(const HttpRequest& request, std::string_view path, std::string_view query,
                      const Respond& respond);
    void HandleManagement(const HttpRequest& request, std::string_view path,
                          std::string_view query, const Respond& respond);

    Controller& controller_;
    ServerIdentity identity_;
    bool remoteSetup_;
    uint32_t serverTransaction_ = 0;
};

}  // namespace kavri::alpaca
