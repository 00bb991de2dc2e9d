// SPDX-License-Identifier: GPL-3.0-or-later
// Alpaca discovery: clients send "alpacadiscovery1" to UDP port 32227 (IPv4 broadcast, IPv6
// multicast to ff12::a1:9aca) and the server answers {"AlpacaPort": N}. The port is bound
// shared, so every Alpaca server on the machine answers. A server listening on loopback
// answers only this machine; one listening on a network address answers the network.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace boost::asio {
class io_context;
}

namespace kavri::alpaca {

inline constexpr uint16_t kDiscoveryPort = 32227;
inline constexpr char kDiscoveryMessage[] = "alpacadiscovery1";
inline constexpr char kDiscoveryGroup[] = "ff12::a1:9aca";

// Whether a request from `sender` is answered by a server whose HTTP side listens on
// `listenAddress`: the answer leads the client to the address it came from, so it is given
// only where the client can reach the server. Any address ("0.0.0.0", "::") answers everyone;
// loopback only this machine; a network address every sender but loopback.
bool AnswersDiscovery(const std::string& listenAddress, const std::string& senderAddress);

// The interface indexes on which to join the IPv6 discovery group (platform files).
std::vector<unsigned> MulticastInterfaces();

class Discovery {
public:
    Discovery(boost::asio::io_context& io, std::string listenAddress, uint16_t httpPort,
              uint16_t discoveryPort = kDiscoveryPort);
    ~Discovery();
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;

    // Binds the IPv4 and IPv6 sockets; false when neither could be bound. `problems` lists
    // what failed (one socket, a multicast group), each a line for the user.
    bool Start(std::vector<std::string>& problems);
    void Stop();

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

}  // namespace kavri::alpaca
