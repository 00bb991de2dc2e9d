// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/LinePacer.h"

namespace kavri::sim {

void LinePacer::Begin(Clock::time_point now) {
    if (Due() >= now) return;
    start_ = now;
    sent_ = 0;
}

std::size_t LinePacer::DueBy(Clock::time_point now, std::size_t pending) const {
    std::size_t due = 0;
    while (due < pending && start_ + ByteTime(sent_ + due) <= now) ++due;
    return due;
}

}  // namespace kavri::sim
