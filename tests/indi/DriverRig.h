// SPDX-License-Identifier: GPL-3.0-or-later
// One test's INDI set-up, shared with no other test: the controller emulated in-process on its
// own pseudo-terminal, its own configuration and data folders, and indiserver running
// indi_kavri on a free loopback port, with a client connected to it.
//
// The driver must never crash: indiserver would restart it silently. indiserver runs with no
// restarts allowed, the driver's process id is checked at the end, and sanitizer reports go to
// files of the test's own folder, which must stay empty - also after the driver's exit.
#pragma once

#include <gtest/gtest.h>
#include <libindi/lilxml.h>
#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/Emulator.h"
#include "support/ChildProgram.h"
#include "support/TempDir.h"

namespace kavri::test {

struct IndiProperty {
    std::string state;    // "Idle", "Ok", "Busy", "Alert"
    std::string message;  // of the latest definition or update that carried one
    std::map<std::string, std::string> values;
    std::map<std::string, std::string> labels;  // of the property ("") and its elements
    int updates = 0;                            // definitions and updates received
    bool defined = false;
    // Every definition and update in order: its state, its message (may be empty) and when it
    // arrived. history[n] is update n + 1, so history from `since` on follows a request.
    struct Update {
        std::string state;
        std::string message;
        std::chrono::steady_clock::time_point at;
    };
    std::vector<Update> history;
    // The states from update `since` on, as a client saw them, e.g. {"Busy", "Ok"}.
    std::vector<std::string> StatesSince(int since) const;
};

// A small INDI client speaking the protocol's XML over TCP: it keeps every property's state,
// values and last message as the server reports them, and sends new values. It reads with lilxml,
// INDI's own XML reader, so what it keeps has its XML entities decoded.
class IndiClient {
public:
    ~IndiClient();
    // Connects to 127.0.0.1:`port` and asks for every property.
    bool Connect(int port);
    // Reads what `fd` carries instead of a connection (and closes it in the end).
    void Adopt(int fd) { fd_ = fd; }

    // Reads and applies what arrives until `done` holds or `timeout` passes.
    bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Until `property` got an update after `since` (its update count) in one of `states`.
    bool WaitState(const std::string& property, const std::vector<std::string>& states, int since,
                   std::chrono::milliseconds timeout = std::chrono::seconds(20));

    const IndiProperty& Property(const std::string& name) { return properties_[name]; }
    std::string Value(const std::string& property, const std::string& element) {
        return properties_[property].values[element];
    }
    double Number(const std::string& property, const std::string& element) {
        return std::strtod(Value(property, element).c_str(), nullptr);
    }
    // Whether a <message> or a property's message held `text`.
    bool Heard(const std::string& text) const {
        return std::any_of(messages_.begin(), messages_.end(),
                           [&](const std::string& m) { return m.find(text) != m.npos; });
    }

    // Sends new values (numbers as text, switches "On"/"Off", texts; in XML's entities where it
    // needs them) and returns the property's update count before the send.
    int Set(const std::string& kind, const std::string& property,
            const std::map<std::string, std::string>& values);
    int SetNumber(const std::string& property, const std::string& element, double value) {
        return Set("Number", property, {{element, std::to_string(value)}});
    }
    int SetSwitch(const std::string& property, const std::string& element) {
        return Set("Switch", property, {{element, "On"}});
    }
    // Asks for one property's definition again.
    void Ask(const std::string& property);
    // Properties that got an update while not defined: "Could not find property" in a client.
    const std::vector<std::string>& UndefinedUpdates() const { return undefinedUpdates_; }
    // Names of the properties defined now.
    std::vector<std::string> Defined() const;

private:
    void Send(const std::string& xml);
    void Apply(XMLEle* root);

    int fd_ = -1;
    LilXML* parser_ = newLilXML();
    std::map<std::string, IndiProperty> properties_;
    std::vector<std::string> messages_;
    std::vector<std::string> undefinedUpdates_;
};

class DriverRig : public ::testing::Test {
protected:
    void TearDown() override;

    // Starts the emulator (`fast`: without line-rate pacing and motion time; registered as
    // COM`com` in the port map when com > 0), indiserver with the driver, and the client.
    void Start(bool fast = true, int com = 0);
    // A fresh emulator on a new pseudo-terminal, as after a hang-up (which ends one for good).
    void RestartEmulator();
    // DISCONNECT (when connected), then DEVICE_PORT and CONNECT: true when it ended Ok.
    bool Reconnect(const std::string& port);
    // DEVICE_PORT, then CONNECT; true when the connection ended Ok.
    bool ConnectTo(const std::string& port);
    // After a request (`since`: the property's update count before it), the property ends in
    // `state`.
    void ExpectEnds(const std::string& property, const std::string& state, int since);

    sim::Emulator& Emulator() { return *emulator_; }
    IndiClient& Client() { return client_; }
    const TempDir& Dir() const { return dir_; }

private:
    bool DriverAlive() const;

    TempDir dir_;
    std::unique_ptr<sim::Emulator> emulator_;
    IndiClient client_;
    bool fast_ = true;
    std::optional<ChildProgram> server_;  // indiserver
    pid_t driver_ = -1;
};

}  // namespace kavri::test
