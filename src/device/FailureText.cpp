// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/DeviceOperations.h"

namespace kavri {

std::string FailureText(const WheelFocuserDevice& device, const std::string& context) {
    const std::string reason =
        device.failureReason.empty() ? "the controller did not answer" : device.failureReason;
    return context.empty() ? reason : context + ": " + reason;
}

}  // namespace kavri
