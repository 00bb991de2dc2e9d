// SPDX-License-Identifier: GPL-3.0-or-later
#include "alpaca/HttpServer.h"

#include "alpaca/AsioInclude.h"

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <optional>
#include <set>

namespace kavri::alpaca {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

class Session;

// What a request that could not be read gets before its connection closes.
HttpResponse ReadFailure(const beast::error_code& error) {
    HttpResponse response;
    response.status = 400;
    if (error == http::error::header_limit) {
        response.status = 431;
        response.body = "The request's header is too large";
    } else if (error == http::error::body_limit || error == http::error::buffer_overflow) {
        response.status = 413;
        response.body = "The request is too large";
    } else {
        response.body = "Malformed HTTP request: " + error.message();
    }
    return response;
}

using Parser = http::request_parser<http::string_body>;

void ApplyLimits(Parser& parser, const HttpLimits& limits) {
    parser.header_limit(static_cast<std::uint32_t>(limits.headerBytes));
    parser.body_limit(limits.bodyBytes);
}

// Junk gets an answer; a client that went away or stalled is simply dropped.
bool IsJunk(const beast::error_code& error) {
    return error != http::error::end_of_stream && error != http::error::need_more &&
           (error.category() == http::make_error_code(http::error::bad_method).category() ||
            error == http::error::buffer_overflow);
}

HttpRequest MakeRequest(const Parser& parser, bool fromLoopback) {
    const auto& message = parser.get();
    HttpRequest request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    request.contentType = std::string(message[http::field::content_type]);
    request.host = std::string(message[http::field::host]);
    request.origin = std::string(message[http::field::origin]);
    request.body = message.body();
    request.fromLoopback = fromLoopback;
    return request;
}

}  // namespace

bool ParseRequest(std::string_view bytes, const HttpLimits& limits, HttpRequest& request,
                  HttpResponse& failure) {
    Parser parser;
    ApplyLimits(parser, limits);
    failure = HttpResponse{};
    failure.status = 0;
    beast::error_code error;
    while (!parser.is_done() && !bytes.empty()) {
        const size_t used = parser.put(asio::buffer(bytes.data(), bytes.size()), error);
        bytes.remove_prefix(used);
        if (error == http::error::need_more) {
            error = {};
            if (used == 0) break;  // an unfinished header: the rest has not arrived
            continue;
        }
        if (error) break;
    }
    if (!parser.is_done()) {
        if (IsJunk(error)) failure = ReadFailure(error);
        return false;
    }
    request = MakeRequest(parser, true);
    return true;
}

struct HttpServer::Impl : std::enable_shared_from_this<HttpServer::Impl> {
    Impl(asio::io_context& context, Handler h, HttpLimits l)
        : io(context), acceptor(context), retry(context), handler(std::move(h)), limits(l) {}

    void Accept();

    asio::io_context& io;
    tcp::acceptor acceptor;
    asio::steady_timer retry;
    Handler handler;
    HttpLimits limits;
    std::set<Session*> sessions;
    bool stopped = false;
};

namespace {

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, std::shared_ptr<HttpServer::Impl> server)
        : stream_(std::move(socket)),
          server_(std::move(server)),
          buffer_(server_->limits.headerBytes + server_->limits.bodyBytes) {
        server_->sessions.insert(this);
    }
    ~Session() { server_->sessions.erase(this); }

    void Start() { Read(); }

    // Answers at once and closes: for a connection over the limit.
    void Refuse() {
        HttpResponse response;
        response.status = 503;
        response.body = "Too many connections; try again";
        Write(response, false);
    }

    void Close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.socket().close(ignored);
    }

private:
    void Read() {
        parser_.emplace();
        ApplyLimits(*parser_, server_->limits);
        stream_.expires_after(server_->limits.timeout);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code error, size_t) {
                             self->OnRead(error);
                         });
    }

    void OnRead(beast::error_code error) {
        if (server_->stopped) return Close();
        if (error) return IsJunk(error) ? Write(ReadFailure(error), false) : Close();

        beast::error_code ignored;
        const HttpRequest request =
            MakeRequest(*parser_, IsLoopback(stream_.socket().remote_endpoint(ignored).address()));
        const bool keepAlive = parser_->get().keep_alive();
        version_ = parser_->get().version();

        // The handler may answer later (a connection in progress); the connection reads
        // nothing more until it has.
        auto self = shared_from_this();
        auto answered = std::make_shared<bool>(false);
        server_->handler(request, [self, answered, keepAlive](HttpResponse response) {
            if (*answered) return;
            *answered = true;
            self->Write(response, keepAlive);
        });
    }

    void Write(const HttpResponse& response, bool keepAlive) {
        if (server_->stopped) return Close();
        response_ = {};
        response_.version(version_);
        response_.result(static_cast<unsigned>(response.status));
        response_.set(http::field::server, "kavri-alpaca");
        response_.set(http::field::content_type, response.contentType);
        for (const auto& [name, value] : response.headers) response_.set(name, value);
        response_.body() = response.body;
        response_.keep_alive(keepAlive);
        response_.prepare_payload();
        stream_.expires_after(server_->limits.timeout);
        http::async_write(stream_, response_,
                          [self = shared_from_this(), keepAlive](beast::error_code error, size_t) {
                              if (error || !keepAlive) return self->Close();
                              self->Read();
                          });
    }

    beast::tcp_stream stream_;
    std::shared_ptr<HttpServer::Impl> server_;
    beast::flat_buffer buffer_;
    std::optional<Parser> parser_;
    http::response<http::string_body> response_;
    unsigned version_ = 11;
};

}  // namespace

void HttpServer::Impl::Accept() {
    acceptor.async_accept([self = shared_from_this()](beast::error_code error, tcp::socket socket) {
        if (self->stopped) return;
        if (!error) {
            auto session = std::make_shared<Session>(std::move(socket), self);
            if (self->sessions.size() > self->limits.connections) {
                session->Refuse();
            } else {
                session->Start();
            }
        }
        // A failed accept (out of descriptors, a client gone before it was taken) ends that
        // one connection, never the server; the next try waits a little, so a lasting
        // shortage of descriptors does not spin the event loop.
        if (!error) return self->Accept();
        self->retry.expires_after(std::chrono::milliseconds(100));
        self->retry.async_wait([self](beast::error_code waited) {
            if (!waited && !self->stopped) self->Accept();
        });
    });
}

HttpServer::HttpServer(asio::io_context& io, Handler handler, HttpLimits limits)
    : impl_(std::make_shared<Impl>(io, std::move(handler), limits)) {}

HttpServer::~HttpServer() {
    Stop();
}

bool HttpServer::Listen(const std::string& address, uint16_t port, std::string& error) {
    beast::error_code code;
    const auto ip = asio::ip::make_address(address, code);
    if (code) {
        error = "Not an IP address: \"" + address + "\"";
        return false;
    }
    const tcp::endpoint endpoint(ip, port);
    auto& acceptor = impl_->acceptor;
    acceptor.open(endpoint.protocol(), code);
#ifndef _WIN32
    // A restart may listen again at once. (Windows would let a second server take the port.)
    if (!code) acceptor.set_option(asio::socket_base::reuse_address(true), code);
#endif
    if (!code) acceptor.bind(endpoint, code);
    if (!code) acceptor.listen(asio::socket_base::max_listen_connections, code);
    if (code) {
        error = "Cannot listen on " + address + " port " + std::to_string(port) + ": " +
                code.message();
        beast::error_code ignored;
        acceptor.close(ignored);
        return false;
    }
    impl_->Accept();
    return true;
}

uint16_t HttpServer::Port() const {
    beast::error_code ignored;
    return impl_->acceptor.local_endpoint(ignored).port();
}

void HttpServer::Stop() {
    impl_->stopped = true;
    beast::error_code ignored;
    impl_->acceptor.close(ignored);
    impl_->retry.cancel();
    for (Session* session : std::set<Session*>(impl_->sessions)) session->Close();
}

size_t HttpServer::Connections() const {
    return impl_->sessions.size();
}

}  // namespace kavri::alpaca
