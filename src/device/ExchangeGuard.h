// SPDX-License-Identifier: GPL-3.0-or-later
// Takes the device's `busy` flag for one command exchange: refuses while the port is closed or
// another exchange holds the flag, otherwise sets it and clears it on every way out.
#pragma once

#include "transport/SerialPort.h"

namespace kavri {

class ExchangeGuard {
public:
    ExchangeGuard(PortHandle port, bool& busy) : busy_(busy), acquired_(port != nullptr && !busy) {
        if (acquired_) busy_ = true;
    }
    // Any object with `port` and `busy` members, i.e. the device.
    template <typename Device>
    explicit ExchangeGuard(Device& device) : ExchangeGuard(device.port, device.busy) {}

    ~ExchangeGuard() {
        if (acquired_) busy_ = false;
    }
    ExchangeGuard(const ExchangeGuard&) = delete;
    ExchangeGuard& operator=(const ExchangeGuard&) = delete;

    // False: the exchange must not start; nothing may be sent.
    bool Acquired() const { return acquired_; }
    explicit operator bool() const { return acquired_; }

private:
    bool& busy_;
    bool acquired_;
};

}  // namespace kavri
