// SPDX-License-Identifier: GPL-3.0-or-later
// Aligned columns for the text output: every column as wide as its widest cell, counted in
// characters (UTF-8 aware), so filter names and thermometer names line up.
#pragma once

#include <string>
#include <vector>

namespace kavri::cli {

class TextTable {
public:
    // Columns listed here are aligned to the right (numbers).
    explicit TextTable(std::vector<bool> rightAligned = {}) : right_(std::move(rightAligned)) {}
    void AddRow(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }
    // Columns separated by two spaces, no trailing blanks, each row ending with a line feed.
    std::string Render() const;

private:
    std::vector<bool> right_;
    std::vector<std::vector<std::string>> rows_;
};

// Number of characters of a UTF-8 text.
size_t DisplayWidth(const std::string& text);

// "%.2f" of a temperature.
std::string FormatDegrees(double degrees);

}  // namespace kavri::cli
