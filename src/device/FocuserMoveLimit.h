// SPDX-License-Identifier: GPL-3.0-or-later
// How long a focuser move may take before it counts as failed.
#pragma once

#include <cstdint>

namespace kavri {

// The time allowed for a move from `from` to `to`, in ms: the distance at the configured speed
// (capped at 300 steps per second for the computation), 11 ms per backlash step and a fixed
// 2000 ms, evaluated in extended precision and truncated toward zero.
int32_t FocuserMoveLimitMs(int32_t from, int32_t to, uint16_t speed, uint16_t backlash);

}  // namespace kavri
