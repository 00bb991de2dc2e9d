// SPDX-License-Identifier: GPL-3.0-or-later
#include "alpaca/AlpacaRig.h"

#include <stdlib.h>

#include <chrono>

#include "device/TemperatureLog.h"

namespace kavri::test {

using namespace std::chrono_literals;

void AlpacaRig::SetUp() {
    setenv("XDG_CONFIG_HOME", dir_.File("config").c_str(), 1);
    setenv("XDG_DATA_HOME", dir_.File("data").c_str(), 1);
    SetActiveTemperatureLog(std::nullopt);
}

void AlpacaRig::TearDown() {
    if (server_) StopServer();
    emulator_.reset();
}

void AlpacaRig::Start(sim::EmulatorOptions options) {
    emulator_ = std::make_unique<sim::Emulator>(std::move(options));
    std::string error;
    ASSERT_TRUE(emulator_->Start(&error)) << error;
    StartServer();
}

void AlpacaRig::StartServer() {
    store_ = std::make_unique<RegistryFileStore>(StorePath());
    alpaca::ServerIdentity identity;
    std::string problem;
    identity.uniqueIds = alpaca::LoadUniqueIds(*store_, problem);
    ASSERT_EQ(problem, "");
    identity.location = "test";
    io_ = std::make_unique<boost::asio::io_context>();
    controller_ = std::make_unique<alpaca::WorkerController>(
        *io_, *store_, PortChoice{0, emulator_->SlavePath()});
    alpaca::ServerOptions options;
    options.httpPort = 0;
    options.discovery = false;
    server_ = std::make_unique<alpaca::AlpacaServer>(*io_, *controller_, identity, options);
    std::string error;
    std::vector<std::string> warnings;
    ASSERT_TRUE(server_->Start(error, warnings)) << error;
    thread_ = std::thread([this] { io_->run(); });
    client_ = std::make_unique<HttpClient>(server_->Port());
}

void AlpacaRig::StopServer() {
    boost::asio::post(*io_, [this] {
        server_->Stop();
        controller_->Stop();
    });
    thread_.join();
    client_.reset();
    server_.reset();
    controller_.reset();
    io_.reset();
    store_.reset();
}

bool AlpacaRig::ConnectBoth() {
    return Put("focuser", "connected", "Connected=True")["ErrorNumber"] == 0 &&
           Put("filterwheel", "connected", "Connected=True")["ErrorNumber"] == 0;
}

bool AlpacaRig::WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

}  // namespace kavri::test
