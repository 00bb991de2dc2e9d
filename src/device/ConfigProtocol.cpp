// SPDX-License-Identifier: GPL-3.0-or-later
// Moving the configuration image over the line.
#include "device/CommandExchange.h"
#include "device/WheelFocuserDevice.h"

namespace kavri {

namespace {

constexpr int kWriteAckLimitMs = 1000;

}  // namespace

// No busy check here: the image is read inside the probe and written by callers that hold the
// flag for the whole operation.
bool WheelFocuserDevice::FWreadEE(uint8_t offset, uint8_t length, uint8_t* dest) {
    if (dest == nullptr) return false;
    CommandExchange exchange(*this, CommandExchange::Busy::kCallerHolds);
    if (!exchange) return false;
    const uint8_t args[2] = {offset, length};
    // A short reply leaves what did arrive in the destination; the caller sees the failure.
    return SendCommandWithArgs(port, "FWreadEE", args, 2, dest, length) == length;
}

bool WheelFocuserDevice::FWwriteEE(uint8_t offset, uint8_t length, const uint8_t* src) {
    if (src == nullptr) return false;
    // Pending input is discarded first like before every command: a late "!" of a filter change
    // or focuser move that timed out must not pass for this write's acknowledgement.
    CommandExchange exchange(*this, CommandExchange::Busy::kCallerHolds);
    if (!exchange) return false;
    const uint8_t args[2] = {offset, length};
    const bool sent = WriteKeyword(port, "FWwriteEE") && WriteBytes(port, args, 2) &&
                      WriteBytes(port, src, length);
    uint8_t reply = 0;
    if (sent && ReadWithTimeout(port, &reply, 1, kWriteAckLimitMs) == 1 && reply == '!')
        return true;
    // A hang-up met on the way replaces this when the exchange ends.
    failureReason = kConfigNotAccepted;
    return false;
}

}  // namespace kavri
