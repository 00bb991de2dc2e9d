// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/CommandExchange.h"

#include "device/ExchangeTrace.h"
#include "device/WheelFocuserDevice.h"

namespace kavri {

CommandExchange::CommandExchange(WheelFocuserDevice& device, Busy busy) : device_(device) {
    if (busy == Busy::kTake) {
        guard_.emplace(device.port, device.busy);
        started_ = guard_->Acquired();
    } else {
        started_ = device.port != nullptr;
    }
    if (!started_) {
        device.failureReason = device.port == nullptr ? kNotConnected : kBusy;
        return;
    }
    device.failureReason.clear();
    hungUpBefore_ = PortHungUp(device.port);
    ApplyExchangeTrace(device);
    PurgePort(device.port);
}

CommandExchange::~CommandExchange() {
    if (!started_) return;
    if (device_.traceCollector) device_.traceCollector->Flush();
    if (PortHungUp(device_.port)) {
        device_.failureReason = kLineHungUp;
        // Said once, when the exchange that met it ends; later exchanges fail at once.
        if (!hungUpBefore_ && !hangUpLogged_) device_.log.Print("%s\r\n", kLineHungUp);
    }
}

}  // namespace kavri
