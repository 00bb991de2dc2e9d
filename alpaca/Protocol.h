// SPDX-License-Identifier: GPL-3.0-or-later
// The vocabulary shared by the server's layers: the two devices, ASCOM error numbers, the
// outcome of an operation, and HTTP requests and responses as plain values (the HTTP library
// stays inside HttpServer.cpp, so routing and the members are tested without sockets).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kavri::alpaca {

enum class DeviceKind { Focuser = 0, FilterWheel = 1 };
inline constexpr int kDeviceKinds = 2;

// The error numbers Alpaca clients know.
namespace ascom {
inline constexpr int kOk = 0;
inline constexpr int kNotImplemented = 0x400;
inline constexpr int kInvalidValue = 0x401;
inline constexpr int kValueNotSet = 0x402;
inline constexpr int kNotConnected = 0x407;
inline constexpr int kInvalidOperation = 0x40B;
inline constexpr int kActionNotImplemented = 0x40C;
// The controller did not answer, answered wrongly, or could not be reached.
inline constexpr int kControllerError = 0x500;
}  // namespace ascom

// How an operation ended: 0 and no message when it worked.
struct Outcome {
    int error = ascom::kOk;
    std::string message;

    bool Ok() const { return error == ascom::kOk; }
    static Outcome Fail(int error, std::string message) { return {error, std::move(message)}; }
};

struct HttpRequest {
    std::string method;  // "GET", "PUT", "POST", ...
    std::string target;  // path and query as sent
    std::string contentType;
    std::string body;
    std::string host;    // the Host header
    std::string origin;  // the Origin header, empty when absent
    bool fromLoopback = false;  // the client connected from this machine
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

// Sends the response to a request; runs once, possibly after the request's handler returned.
using Respond = std::function<void(HttpResponse)>;

}  // namespace kavri::alpaca
