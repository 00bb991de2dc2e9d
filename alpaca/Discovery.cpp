// SPDX-License-Identifier: GPL-3.0-or-later
#include "alpaca/Discovery.h"

#include "alpaca/AsioInclude.h"

#include <array>

namespace kavri::alpaca {

namespace asio = boost::asio;
using udp = asio::ip::udp;

namespace {

#ifdef SO_REUSEPORT
// Linux hands a shared port only to sockets that all ask for it.
using ReusePort = asio::detail::socket_option::boolean<SOL_SOCKET, SO_REUSEPORT>;
#endif

}  // namespace

bool AnswersDiscovery(const std::string& listenAddress, const std::string& senderAddress) {
    boost::system::error_code error;
    const auto listen = asio::ip::make_address(listenAddress, error);
    if (error) return false;
    const auto sender = asio::ip::make_address(senderAddress, error);
    if (error) return false;
    if (listen.is_unspecified()) return true;
    return IsLoopback(listen) == IsLoopback(sender);
}

struct Discovery::Impl : std::enable_shared_from_this<Discovery::Impl> {
    Impl(asio::io_context& io, std::string listen, uint16_t http, uint16_t port)
        : v4(io), v6(io), listenAddress(std::move(listen)), discoveryPort(port) {
        answer = "{\"AlpacaPort\":" + std::to_string(http) + "}";
    }

    bool Open(udp::socket& socket, const udp::endpoint& endpoint, std::string& problem) {
        boost::system::error_code error;
        socket.open(endpoint.protocol(), error);
        if (!error && endpoint.address().is_v6()) socket.set_option(asio::ip::v6_only(true), error);
        if (!error) socket.set_option(asio::socket_base::reuse_address(true), error);
#ifdef SO_REUSEPORT
        if (!error) socket.set_option(ReusePort(true), error);
#endif
        if (!error) socket.bind(endpoint, error);
        if (error) {
            problem = "Discovery cannot use UDP port " + std::to_string(discoveryPort) + " (" +
                      (endpoint.address().is_v6() ? "IPv6" : "IPv4") + "): " + error.message();
            boost::system::error_code ignored;
            socket.close(ignored);
            return false;
        }
        return true;
    }

    void Receive(udp::socket& socket, std::shared_ptr<udp::endpoint> sender,
                 std::shared_ptr<std::array<char, 64>> buffer) {
        socket.async_receive_from(
            asio::buffer(*buffer), *sender,
            [self = shared_from_this(), &socket, sender, buffer](boost::system::error_code error,
                                                                 size_t size) {
                if (self->stopped || error == asio::error::operation_aborted) return;
                // A datagram cut short or a peer that went away (Windows reports both) ends
                // nothing; any other error ends this socket's loop rather than spinning on it.
                if (error && error != asio::error::message_size &&
                    error != asio::error::connection_reset &&
                    error != asio::error::connection_refused) {
                    return;
                }
                const std::string_view text(buffer->data(), size);
                // A datagram too long for the buffer is no request (Linux cuts it to size).
                if (!error && text == kDiscoveryMessage &&
                    AnswersDiscovery(self->listenAddress, sender->address().to_string())) {
                    auto to = std::make_shared<udp::endpoint>(*sender);
                    socket.async_send_to(asio::buffer(self->answer), *to,
                                         [self, to](boost::system::error_code, size_t) {});
                }
                self->Receive(socket, std::make_shared<udp::endpoint>(), buffer);
            });
    }

    udp::socket v4;
    udp::socket v6;
    std::string listenAddress;
    uint16_t discoveryPort;
    std::string answer;
    bool stopped = false;
};

Discovery::Discovery(asio::io_context& io, std::string listenAddress, uint16_t httpPort,
                     uint16_t discoveryPort)
    : impl_(std::make_shared<Impl>(io, std::move(listenAddress), httpPort, discoveryPort)) {}

Discovery::~Discovery() {
    Stop();
}

bool Discovery::Start(std::vector<std::string>& problems) {
    std::string problem;
    const bool v4 = impl_->Open(impl_->v4, udp::endpoint(asio::ip::address_v4::any(),
                                                         impl_->discoveryPort), problem);
    if (!v4) problems.push_back(problem);
    const bool v6 = impl_->Open(impl_->v6, udp::endpoint(asio::ip::address_v6::any(),
                                                         impl_->discoveryPort), problem);
    if (!v6) problems.push_back(problem);
    if (v6) {
        const auto group = asio::ip::make_address_v6(kDiscoveryGroup);
        int joined = 0;
        for (const unsigned index : MulticastInterfaces()) {
            boost::system::error_code error;
            impl_->v6.set_option(asio::ip::multicast::join_group(group, index), error);
            if (!error) ++joined;
        }
        if (joined == 0) {
            problems.push_back(std::string("Discovery could not join the IPv6 group ") +
                               kDiscoveryGroup + " on any interface");
        }
    }
    auto buffer = [] { return std::make_shared<std::array<char, 64>>(); };
    if (v4) impl_->Receive(impl_->v4, std::make_shared<udp::endpoint>(), buffer());
    if (v6) impl_->Receive(impl_->v6, std::make_shared<udp::endpoint>(), buffer());
    return v4 || v6;
}

void Discovery::Stop() {
    impl_->stopped = true;
    boost::system::error_code ignored;
    impl_->v4.close(ignored);
    impl_->v6.close(ignored);
}

}  // namespace kavri::alpaca
