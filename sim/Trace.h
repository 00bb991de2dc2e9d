// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavri::sim {

// One trace line: seconds since start, direction ("RX", "TX" or a note), the bytes in hex and
// as ASCII with "." for anything unprintable.
std::string FormatTraceLine(double seconds, const char* direction,
                            const std::vector<std::uint8_t>& bytes);

}  // namespace kavri::sim
