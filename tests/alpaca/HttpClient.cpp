// SPDX-License-Identifier: GPL-3.0-or-later
#include "alpaca/HttpClient.h"

#include "alpaca/AsioInclude.h"

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <optional>

namespace kavri::test {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

nlohmann::json HttpReply::Json() const {
    return nlohmann::json::parse(body, nullptr, false);
}

struct HttpClient::Impl {
    asio::io_context io;
    std::optional<beast::tcp_stream> stream;
    beast::flat_buffer buffer;
    uint16_t port;
};

HttpClient::HttpClient(uint16_t port) : impl_(std::make_unique<Impl>()) {
    impl_->port = port;
}

HttpClient::~HttpClient() = default;

HttpReply HttpClient::Send(const std::string& method, const std::string& target,
                           const std::string& body) {
    Impl& c = *impl_;
    for (int attempt = 0; attempt < 2; ++attempt) {
        beast::error_code error;
        if (!c.stream) {
            c.stream.emplace(c.io);
            c.buffer.clear();
            c.stream->connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), c.port), error);
            if (error) {
                c.stream.reset();
                return {};
            }
        }
        std::string request = method + " " + target +
                              " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(c.port) + "\r\n";
        if (method != "GET") {
            request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\n";
        }
        request += "\r\n" + body;
        c.stream->expires_after(std::chrono::seconds(30));
        asio::write(*c.stream, asio::buffer(request), error);
        http::response<http::string_body> response;
        if (!error) http::read(*c.stream, c.buffer, response, error);
        if (error) {
            // A kept-alive connection the server closed meanwhile: once more on a new one.
            c.stream.reset();
            continue;
        }
        if (!response.keep_alive()) c.stream.reset();
        return HttpReply{static_cast<int>(response.result_int()), response.body()};
    }
    return {};
}

nlohmann::json HttpClient::Member(const std::string& device, const std::string& member,
                                  const std::string& query) {
    return Get("/api/v1/" + device + "/0/" + member + (query.empty() ? "" : "?" + query)).Json();
}

nlohmann::json HttpClient::SetMember(const std::string& device, const std::string& member,
                                     const std::string& body) {
    return Send("PUT", "/api/v1/" + device + "/0/" + member, body).Json();
}

std::string RawExchange(uint16_t port, const std::string& bytes) {
    asio::io_context io;
    beast::tcp_stream stream(io);
    beast::error_code error;
    stream.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port), error);
    if (error) return {};
    stream.expires_after(std::chrono::seconds(10));
    asio::write(stream, asio::buffer(bytes), error);
    std::string received;
    char chunk[4096];
    for (;;) {
        const size_t n = stream.read_some(asio::buffer(chunk), error);
        received.append(chunk, n);
        if (error) break;
    }
    return received;
}

std::vector<std::string> DiscoveryAnswers(const std::string& address, uint16_t port,
                                          const std::string& message,
                                          std::chrono::milliseconds wait,
                                          const std::string& awaited) {
    asio::io_context io;
    const auto target = asio::ip::make_address(address);
    asio::ip::udp::socket socket(io, target.is_v6() ? asio::ip::udp::v6() : asio::ip::udp::v4());
    socket.set_option(asio::socket_base::broadcast(true));
    socket.send_to(asio::buffer(message), asio::ip::udp::endpoint(target, port));
    std::vector<std::string> answers;
    auto buffer = std::make_shared<std::array<char, 256>>();
    asio::ip::udp::endpoint sender;
    std::function<void()> receive = [&] {
        socket.async_receive_from(asio::buffer(*buffer), sender,
                                  [&](boost::system::error_code error, size_t size) {
                                      if (error) return;
                                      answers.emplace_back(buffer->data(), size);
                                      if (answers.back() == awaited) return io.stop();
                                      receive();
                                  });
    };
    receive();
    io.run_for(wait);
    return answers;
}

}  // namespace kavri::test
