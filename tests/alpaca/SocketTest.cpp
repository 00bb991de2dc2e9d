// SPDX-License-Identifier: GPL-3.0-or-later
// The server on real loopback sockets, with the controller stood in for: keep-alive, junk and
// oversized requests, stalled and vanished clients, the connection limit, an answer that waits
// for the controller while other clients go on, and discovery. Linux and Wine alike.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "alpaca/AlpacaServer.h"
#include "alpaca/AsioInclude.h"
#include "alpaca/FakeController.h"
#include "alpaca/HttpClient.h"

namespace kavri::alpaca {
namespace {

using namespace std::chrono_literals;
using test::HttpClient;

class AlpacaSockets : public ::testing::Test {
protected:
    void Serve(ServerOptions options = {}) {
        options.httpPort = 0;
        server_ = std::make_unique<AlpacaServer>(io_, controller_,
                                                 ServerIdentity{{"f", "w"}, "here"}, options);
        std::string error;
        std::vector<std::string> warnings;
        ASSERT_TRUE(server_->Start(error, warnings)) << error;
        thread_ = std::thread([this] { io_.run(); });
    }
    void TearDown() override {
        if (!server_) return;
        boost::asio::post(io_, [this] { server_->Stop(); });
        thread_.join();
    }
    // Runs `work` on the server's thread and waits for it.
    void OnServer(std::function<void()> work) {
        std::promise<void> done;
        boost::asio::post(io_, [&] {
            work();
            done.set_value();
        });
        done.get_future().wait();
    }
    uint16_t Port() const { return server_->Port(); }

    boost::asio::io_context io_;
    test::FakeController controller_;
    std::unique_ptr<AlpacaServer> server_;
    std::thread thread_;
};

TEST_F(AlpacaSockets, JunkAndOversizedRequestsCloseOnlyTheirConnection) {
    ServerOptions options;
    options.limits.timeout = 500ms;
    Serve(options);
    HttpClient keeper(Port());
    ASSERT_EQ(keeper.Get("/api/v1/focuser/0/position").status, 200);

    const std::string get = "GET /api/v1/focuser/0/position HTTP/1.1\r\nHost: x\r\n";
    struct Case {
        std::string bytes;
        const char* answer;  // start of the response; empty: closed without one
    };
    const Case cases[] = {
        {"\x16\x03\x01 junk\r\n\r\n", "HTTP/1.1 400"},
        {"GET /setup HTTP/9.9\r\n\r\n", "HTTP/1.1 400"},
        {get + "X-Long: " + std::string(9000, 'a') + "\r\n\r\n", "HTTP/1.1 431"},
        {"PUT /api/v1/focuser/0/move HTTP/1.1\r\nHost: x\r\nContent-Length: 20000\r\n\r\n" +
             std::string(20000, 'a'),
         "HTTP/1.1 413"},
        {get, ""},  // stalls mid-request until the server's time-out
        {"", ""},   // says nothing at all
    };
    for (const Case& c : cases) {
        const std::string received = test::RawExchange(Port(), c.bytes);
        EXPECT_EQ(received.substr(0, std::string(c.answer).size()), c.answer)
            << c.bytes.substr(0, 40);
    }
    // Two requests in one packet are both answered, in order.
    const std::string pipelined = test::RawExchange(
        Port(), get + "\r\n" +
                    "GET /api/v1/focuser/0/name HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_NE(pipelined.find("\"Value\":1500"), std::string::npos);
    EXPECT_NE(pipelined.find("Kavri Focuser"), std::string::npos);
    // The kept-alive client of before is served as ever.
    EXPECT_EQ(keeper.Member("focuser", "position")["Value"], 1500);
}

TEST_F(AlpacaSockets, AnAnswerWaitingForTheControllerHoldsUpNobodyElse) {
    ServerOptions options;
    options.limits.connections = 3;
    Serve(options);
    controller_.SetOutcome({}, true);
    auto connecting = std::async(std::launch::async, [this] {
        HttpClient client(Port());
        return client.SetMember("focuser", "connected", "Connected=True&ClientTransactionID=5");
    });
    // Once the server holds the connection's answer, others are still served.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (controller_.Calls().empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(controller_.Calls(), std::vector<std::string>{"connect focuser"});
    HttpClient other(Port());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(other.Member("filterwheel", "position")["Value"], 1);
    EXPECT_EQ(connecting.wait_for(0ms), std::future_status::timeout);
    OnServer([this] { controller_.Release(); });
    const auto answer = connecting.get();
    EXPECT_EQ(answer["ErrorNumber"], 0);
    EXPECT_EQ(answer["ClientTransactionID"], 5);

    // Three connections are served at once; a fourth is told to come back. (The first
    // client's connection is gone once the server has seen it close.)
    size_t open = 0;
    for (int i = 0; i < 2000; ++i) {
        OnServer([&] { open = server_->Connections(); });
        if (open <= 1) break;
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(open, 1u);
    HttpClient second(Port()), third(Port());
    ASSERT_EQ(second.Get("/management/apiversions").status, 200);
    ASSERT_EQ(third.Get("/management/apiversions").status, 200);
    EXPECT_EQ(test::RawExchange(Port(), "GET / HTTP/1.1\r\nHost: x\r\n\r\n").substr(0, 12),
              "HTTP/1.1 503");
    EXPECT_EQ(other.Get("/management/apiversions").status, 200);
}

TEST_F(AlpacaSockets, DiscoveryOnLoopback) {
    ServerOptions options;
    options.discovery = true;
    Serve(options);
    const std::string ours = "{\"AlpacaPort\":" + std::to_string(Port()) + "}";
    // Broadcast reaches every server sharing the port; ours must be among the answers.
    const auto contains = [&](const std::vector<std::string>& answers) {
        return std::find(answers.begin(), answers.end(), ours) != answers.end();
    };
    EXPECT_TRUE(contains(
        test::DiscoveryAnswers("127.255.255.255", kDiscoveryPort, kDiscoveryMessage, 10s, ours)));
    // A unicast datagram reaches only one of the servers sharing the port (the kernel picks
    // by the sender's address and port), and other tests may run servers too: ask from fresh
    // sockets until ours is the one asked.
    bool unicastAnswered = false;
    for (int attempt = 0; attempt < 50 && !unicastAnswered; ++attempt) {
        unicastAnswered =
            contains(test::DiscoveryAnswers("::1", kDiscoveryPort, kDiscoveryMessage, 200ms, ours));
    }
    EXPECT_TRUE(unicastAnswered);
    EXPECT_FALSE(contains(
        test::DiscoveryAnswers("127.255.255.255", kDiscoveryPort, "alpacadiscovery", 500ms)));
    // The server still answers HTTP and discovery after a junk datagram.
    test::DiscoveryAnswers("127.0.0.1", kDiscoveryPort, std::string(300, 'x'), 100ms);
    EXPECT_TRUE(contains(
        test::DiscoveryAnswers("127.255.255.255", kDiscoveryPort, kDiscoveryMessage, 10s, ours)));
}

}  // namespace
}  // namespace kavri::alpaca
