// One test's INDI set-up, shared with no other test: the controller emulated in-process on its
// own pseudo-terminal, its own configuration and data folders, and indiserver running
// indi_kavri on a free loopback port, with a client connected to it.
//
// The driver must never crash: indiserver would restart it silently. indiserver runs with no
// restarts allowed, the driver's process id is checked at the end, and sanitizer reports go to
// files of the test's own folder, which must stay empty - also after the driver's exit.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "indi/IndiClient.h"
#include "sim/Emulator.h"
#include "support/TempDir.h"

namespace kavri::test {

class DriverRig : public ::testing::Test {
protected:
    void TearDown() override;

    // Starts the emulator (registered as COM`com` in the port map when com > 0), indiserver
    // with the driver, and the client.
    void Start(sim::EmulatorOptions options = {}, int com = 0);
    // DEVICE_PORT, then CONNECT; true when the connection ended Ok.
    bool ConnectTo(const std::string& port);
    // A standard tool of indi-bin (indi_getprop, indi_setprop, indi_eval) against this server;
    // its standard output.
    std::string Tool(const std::string& tool, const std::vector<std::string>& args);
    bool MessageContains(const std::string& text) const;

    sim::Emulator& Emulator() { return *emulator_; }
    IndiClient& Client() { return client_; }
    const TempDir& Dir() const { return dir_; }
    bool DriverAlive() const;

private:
    TempDir dir_;
    std::unique_ptr<sim::Emulator> emulator_;
    IndiClient client_;
    int port_ = 0;
    pid_t server_ = -1;
    pid_t driver_ = -1;
};

}  // namespace kavri::test
