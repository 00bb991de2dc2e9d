// SPDX-License-Identifier: GPL-3.0-or-later
// The Alpaca members of the two devices: one table of (device, method, member) with what each
// reads from the controller's state or asks of it. Routing, transaction numbers and the JSON
// around a value are the router's; a member only says what it answers.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "alpaca/Controller.h"
#include "alpaca/Parameters.h"
#include "alpaca/ServerIdentity.h"

namespace kavri::alpaca {

struct MemberCall {
    DeviceKind device;
    const Parameters& parameters;
    Controller& controller;
    const ServerIdentity& identity;
};

// What a member answers: a malformed request (HTTP 400 with `badRequest`), or an outcome with
// a value for a GET.
struct MemberResult {
    std::string badRequest;
    Outcome outcome;
    std::optional<nlohmann::json> value;
};
using MemberReply = std::function<void(MemberResult)>;

enum class MemberLookup { kFound, kUnknown, kWrongMethod };

// Runs member `name` of `call.device` for `method` ("GET" or "PUT"); `reply` runs once, at once
// or when the controller has finished. kUnknown and kWrongMethod run nothing.
MemberLookup RunMember(std::string_view method, std::string_view name, const MemberCall& call,
                       const MemberReply& reply);

}  // namespace kavri::alpaca
