// SPDX-License-Identifier: GPL-3.0-or-later
// One line of a daily temperature log as the focus calibration reads it: a header
// ("Time,T0,...,Focus,Filter"), a row ("hh:mm:ss", a field per thermometer, the focuser
// position, the filter's name), a blank line, or something malformed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavri {

// What a row holds for the calibration. Every field of a row is checked, used or not: a line
// with a garbled field anywhere is malformed as a whole.
struct LogRow {
    int secondOfDay = 0;
    // The row has a column for the thermometer asked for. A row's own field count gives its
    // columns (Time, T0..Tn-1, Focus, Filter), since the log does not repeat its header when
    // the thermometer count changes during the day.
    bool hasThermometer = false;
    std::optional<double> temperature;  // empty field: no reading
    std::optional<int> position;        // empty field: no reading
    std::string_view filter;            // the controller's bytes, unquoted; valid until the
                                        // next Parse
};

enum class LogLineKind { Blank, Header, Row, Malformed };

class LogLineParser {
public:
    explicit LogLineParser(int thermometer) : thermometer_(thermometer) {}

    // `line` without its line end (a trailing CR is allowed). Fills `row` for a Row.
    LogLineKind Parse(std::string_view line, LogRow& row);

private:
    bool Split(std::string_view line);

    int thermometer_;
    std::vector<std::string_view> fields_;
    std::string unquoted_;  // the filter name when the log had to quote it
    bool quoted_ = false;
};

}  // namespace kavri
