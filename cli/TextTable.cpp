// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TextTable.h"

#include <algorithm>
#include <cstdio>

namespace kavri::cli {

size_t DisplayWidth(const std::string& text) {
    // Continuation bytes (10xxxxxx) do not start a character.
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string FormatDegrees(double degrees) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", degrees);
    return text;
}

std::string TextTable::Render() const {
    std::vector<size_t> widths;
    for (const auto& row : rows_) {
        if (widths.size() < row.size()) widths.resize(row.size(), 0);
        for (size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
        }
    }
    std::string out;
    for (const auto& row : rows_) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            const size_t pad = widths[c] - DisplayWidth(row[c]);
            const bool right = c < right_.size() && right_[c];
            if (c > 0) line += "  ";
            if (right) line.append(pad, ' ');
            line += row[c];
            if (!right) line.append(pad, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    return out;
}

}  // namespace kavri::cli
