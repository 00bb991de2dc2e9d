// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

// When each reply byte may leave at the 9600-baud line rate. Deadlines are absolute: byte k of
// a burst is due at the burst's start + k byte times, so a late wake-up delays that byte only
// and the bytes after it catch up, instead of every delay adding to the reply's length.
namespace kavri::sim {

class LinePacer {
public:
    using Clock = std::chrono::steady_clock;

    // Line time of `count` bytes: 10 bits each (start, 8 data, stop) at 9600 baud.
    static constexpr Clock::duration ByteTime(std::uint64_t count) {
        return std::chrono::duration_cast<Clock::duration>(
            std::chrono::nanoseconds(count * 10'000'000'000 / 9600));
    }

    // Starts a burst at `now`. A burst that begins while earlier bytes are still on the line
    // continues their schedule; once the line has gone idle, the schedule starts afresh.
    void Begin(Clock::time_point now);
    // When the next byte may leave.
    Clock::time_point Due() const { return start_ + ByteTime(sent_); }
    // How many of the next `pending` bytes are due at `now`: the ones a late wake-up let
    // fall behind go out together.
    std::size_t DueBy(Clock::time_point now, std::size_t pending) const;
    // Records `count` bytes as sent.
    void Sent(std::size_t count) { sent_ += count; }

private:
    Clock::time_point start_{};
    std::uint64_t sent_ = 0;
};

}  // namespace kavri::sim
