// SPDX-License-Identifier: GPL-3.0-or-later
// Elapsed time on the monotonic clock, for the time limits of exchanges and the time stamps of
// log lines.
#pragma once

#include <chrono>
#include <cstdint>

namespace kavri {

class Stopwatch {
public:
    // A stopwatch runs from its construction; Start() begins the measure again.
    Stopwatch() { Start(); }

    void Start() { start_ = std::chrono::steady_clock::now(); }

    // Whole milliseconds since the start, truncated toward zero.
    int32_t ElapsedMs() const;
    // Milliseconds since the start, untruncated (log lines print one decimal).
    double ElapsedMillis() const;
    // Seconds since the start (the prefix of diagnostic log lines).
    double ElapsedSeconds() const;

private:
    std::chrono::steady_clock::time_point start_;
};

}  // namespace kavri
