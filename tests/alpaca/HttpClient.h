// SPDX-License-Identifier: GPL-3.0-or-later
// A small HTTP client for the Alpaca tests: one request per call on a fresh or kept-alive
// loopback connection, the JSON of an Alpaca reply, raw bytes for malformed requests, and
// discovery datagrams.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kavri::test {

struct HttpReply {
    int status = 0;  // 0: no response (the connection failed or closed)
    std::string body;
    nlohmann::json Json() const;  // null when the body is no JSON
};

class HttpClient {
public:
    explicit HttpClient(uint16_t port);
    ~HttpClient();

    // Sends one request on the client's kept-alive connection (opened on first use, and again
    // after the server closed it). A PUT or POST sends `body` form-encoded.
    HttpReply Send(const std::string& method, const std::string& target,
                   const std::string& body = {});
    HttpReply Get(const std::string& target) { return Send("GET", target); }

    // An Alpaca member: GET /api/v1/<device>/0/<member>?<query>, or PUT with a form body.
    nlohmann::json Member(const std::string& device, const std::string& member,
                          const std::string& query = {});
    nlohmann::json SetMember(const std::string& device, const std::string& member,
                             const std::string& body);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Writes `bytes` on a fresh connection, then reads until the server closes it or 10 s pass;
// what arrived.
std::string RawExchange(uint16_t port, const std::string& bytes);

// Sends `message` to `address`:`port` over UDP and gathers the answers that arrive within
// `wait`, or until `awaited` has arrived.
std::vector<std::string> DiscoveryAnswers(const std::string& address, uint16_t port,
                                          const std::string& message,
                                          std::chrono::milliseconds wait,
                                          const std::string& awaited = {});

}  // namespace kavri::test
