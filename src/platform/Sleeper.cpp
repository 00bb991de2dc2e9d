// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Sleeper.h"

#include <chrono>
#include <thread>

namespace kavri {

void RealSleep(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace kavri
