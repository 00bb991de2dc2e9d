// SPDX-License-Identifier: GPL-3.0-or-later
// One test's whole server in-process: the controller emulated on its own pseudo-terminal, a
// settings store and data folder of the test's own, the adapter over the device worker, and
// the HTTP server on a free loopback port with its event loop on a thread; an HTTP client.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

#include "alpaca/AlpacaServer.h"
#include "alpaca/HttpClient.h"
#include "alpaca/WorkerController.h"
#include "persist/RegistryFileStore.h"
#include "sim/Emulator.h"
#include "support/TempDir.h"

namespace kavri::test {

class AlpacaRig : public ::testing::Test {
public:
    void SetUp() override;
    void TearDown() override;

    // Starts the emulator (`fast` unless told otherwise), then the server.
    void Start(sim::EmulatorOptions options = Fast());
    void StartServer();
    // Stops the server as SIGTERM does and destroys it (the device disconnects and saves).
    void StopServer();
    static sim::EmulatorOptions Fast() {
        sim::EmulatorOptions options;
        options.fast = true;
        return options;
    }

    nlohmann::json Get(const std::string& device, const std::string& member) {
        return client_->Member(device, member);
    }
    nlohmann::json Put(const std::string& device, const std::string& member,
                       const std::string& body) {
        return client_->SetMember(device, member, body);
    }
    // PUT Connected=True on both devices; true when both answered without an error.
    bool ConnectBoth();
    // Polls `done` until it holds or 20 s pass.
    static bool WaitUntil(const std::function<bool()>& done);

    sim::Emulator& Emulator() { return *emulator_; }
    HttpClient& Client() { return *client_; }
    const TempDir& Dir() const { return dir_; }
    std::string StorePath() const { return dir_.File("config/kavri/registry.reg"); }
    alpaca::AlpacaServer& Server() { return *server_; }

private:
    TempDir dir_;
    std::unique_ptr<sim::Emulator> emulator_;
    std::unique_ptr<RegistryFileStore> store_;
    std::unique_ptr<boost::asio::io_context> io_;
    std::unique_ptr<alpaca::WorkerController> controller_;
    std::unique_ptr<alpaca::AlpacaServer> server_;
    std::unique_ptr<HttpClient> client_;
    std::thread thread_;
};

}  // namespace kavri::test
