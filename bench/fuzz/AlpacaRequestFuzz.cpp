// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the Alpaca server's request handling: any bytes are parsed as a connection
// parses them (same size limits) and a request that results is routed with a controller stood
// in for. Every request must get exactly one response of a status the server sends, never an
// internal error, and every 200 of the device and management APIs must be JSON with the
// transaction numbers and an error number.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <nlohmann/json.hpp>

#include "alpaca/FakeController.h"
#include "alpaca/HttpServer.h"
#include "alpaca/Router.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kavri::alpaca;
    static kavri::test::FakeController controller;
    static Router router(controller, ServerIdentity{{"a", "b"}, "fuzz"}, false);

    HttpRequest request;
    HttpResponse failure;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (!ParseRequest(bytes, HttpLimits{}, request, failure)) {
        if (failure.status != 0 && failure.status != 400 && failure.status != 413 &&
            failure.status != 431) {
            std::abort();
        }
        return 0;
    }
    int responses = 0;
    HttpResponse response;
    router.Handle(request, [&](HttpResponse r) {
        ++responses;
        response = std::move(r);
    });
    if (responses != 1) std::abort();
    switch (response.status) {
        case 200: case 302: case 400: case 403: case 404: break;
        default: std::abort();
    }
    const bool api = request.target.rfind("/api/", 0) == 0 ||
                     request.target.rfind("/management/", 0) == 0;
    if (api && response.status == 200) {
        const auto body = nlohmann::json::parse(response.body, nullptr, false);
        if (body.is_discarded() || !body.contains("ServerTransactionID") ||
            !body.contains("ClientTransactionID") || !body["ErrorNumber"].is_number()) {
            std::abort();
        }
    }
    return 0;
}
