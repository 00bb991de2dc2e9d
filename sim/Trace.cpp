// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/Trace.h"

#include <cstdio>

namespace kavri::sim {

std::string FormatTraceLine(double seconds, const char* direction,
                            const std::vector<std::uint8_t>& bytes) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%10.3f ", seconds);
    std::string hex;
    std::string ascii;
    for (std::uint8_t b : bytes) {
        char cell[4];
        std::snprintf(cell, sizeof cell, "%02x ", b);
        hex += cell;
        ascii.push_back(b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.');
    }
    return std::string(stamp) + direction + "  " + hex + " |" + ascii + "|";
}

}  // namespace kavri::sim
