// SPDX-License-Identifier: GPL-3.0-or-later
// The byte trace of the device's exchanges: every byte sent and received, time-stamped, to
// the diagnostic sink, one line per direction and step of an exchange.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "transport/SerialPort.h"

namespace kavri {

class DiagnosticLog;
class WheelFocuserDevice;

// One trace line: the log's time stamp, the direction (">>" sent, "<<" received), the bytes
// in hex and, between bars, as text with "." for anything not printable.
std::string FormatTraceLine(double seconds, TraceDirection direction, const uint8_t* bytes,
                            int count);

// Gathers the traced bytes into lines: bytes of one direction that follow each other within
// the port's inter-byte interval share a line (a keyword and its arguments, a reply that
// arrives in pieces); a change of direction, a longer gap, or Flush ends the line.
class TraceCollector {
public:
    // Longest line in bytes: the largest record of the protocol (the count and table of
    // "FWzm") fits; a longer run of bytes continues on the next line.
    static constexpr size_t kMaxLineBytes = 256;

    explicit TraceCollector(DiagnosticLog& log) : log_(log) {}
    void Add(TraceDirection direction, const uint8_t* bytes, int count);
    // Writes the line being gathered, if any.
    void Flush();

private:
    DiagnosticLog& log_;
    TraceDirection direction_ = TraceDirection::Out;
    std::vector<uint8_t> bytes_;
    double firstSeconds_ = 0.0;
    std::chrono::steady_clock::time_point last_{};
};

// Installs the trace on the device's port when it is switched on, so ports opened after the
// switch are covered too.
void ApplyExchangeTrace(WheelFocuserDevice& device);

}  // namespace kavri
