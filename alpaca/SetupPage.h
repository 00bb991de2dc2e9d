// SPDX-License-Identifier: GPL-3.0-or-later
// The setup pages a person opens in a browser: /setup for the server and
// /setup/v1/<type>/0/setup for each device. They show the connection and the controller's
// state and let the user choose the port. A change is taken only from this machine unless the
// server was started to take them from the network, and never from a form of another site.
#pragma once

#include <string_view>

#include "alpaca/Controller.h"
#include "alpaca/Protocol.h"
#include "alpaca/ServerIdentity.h"

namespace kavri::alpaca {

// Serves a setup page (GET) or a change made on it (POST); false when `path` is none of them.
bool HandleSetup(const HttpRequest& request, std::string_view path, Controller& controller,
                 const ServerIdentity& identity, bool remoteChanges, const Respond& respond);

}  // namespace kavri::alpaca
