// SPDX-License-Identifier: GPL-3.0-or-later
// One command exchange of the device with the controller, from start to end.
//
// Start: refuses while the port is closed or (unless the caller already holds it) while
// another exchange holds `busy`; otherwise takes `busy`, installs the byte trace when it is on,
// and discards pending port data so that stale bytes of an earlier exchange (a late answer to
// a command that timed out) cannot be taken for the new reply. End, on every way out: the
// trace line being gathered is written, a hang-up seen on the line is logged and left in
// `failureReason`, and `busy` is released.
#pragma once

#include <optional>

#include "device/ExchangeGuard.h"

namespace kavri {

class WheelFocuserDevice;

class CommandExchange {
public:
    enum class Busy {
        kTake,         // a command operation: refuses while busy, holds it meanwhile
        kCallerHolds,  // the configuration image commands, whose callers hold `busy`
    };

    explicit CommandExchange(WheelFocuserDevice& device, Busy busy = Busy::kTake);
    ~CommandExchange();
    CommandExchange(const CommandExchange&) = delete;
    CommandExchange& operator=(const CommandExchange&) = delete;

    // False: the exchange must not start; nothing may be sent.
    explicit operator bool() const { return started_; }

    // The operation has logged the hang-up in its own result line.
    void HangUpLogged() { hangUpLogged_ = true; }

private:
    WheelFocuserDevice& device_;
    std::optional<ExchangeGuard> guard_;
    bool started_ = false;
    bool hungUpBefore_ = false;
    bool hangUpLogged_ = false;
};

// The reason a hung-up line gives, in the log and in failureReason.
inline constexpr const char* kLineHungUp = "the line was hung up";
// The reasons of an exchange that could not start.
inline constexpr const char* kNotConnected = "the controller is not connected";
inline constexpr const char* kBusy = "the controller is busy with another exchange";
// The reason of a configuration write the controller did not acknowledge.
inline constexpr const char* kConfigNotAccepted = "the controller did not accept the configuration";

}  // namespace kavri
