// SPDX-License-Identifier: GPL-3.0-or-later
// The pause used by the stepping routine between motor phases. Injectable so that tests can
// record the pauses instead of waiting for them.
#pragma once

#include <functional>

namespace kavri {

using SleepFunction = std::function<void(int milliseconds)>;

// Blocks the calling thread for the given time; non-positive values return at once.
void RealSleep(int milliseconds);

}  // namespace kavri
