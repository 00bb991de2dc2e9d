// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/FocusLogLine.h"

#include <charconv>

#include "device/TemperatureLog.h"

namespace kavri {

namespace {

// Readings travel as signed 16-bit hundredths of a degree and positions as signed 16-bit steps;
// anything beyond is not something the log can have written.
constexpr double kTemperatureLimit = 327.68;
constexpr int kPositionLow = -32768;
constexpr int kPositionHigh = 32767;

bool TwoDigits(std::string_view text, size_t at, int limit, int& value) {
    const char high = text[at];
    const char low = text[at + 1];
    if (high < '0' || high > '9' || low < '0' || low > '9') return false;
    value = (high - '0') * 10 + (low - '0');
    return value <= limit;
}

// "hh:mm:ss" exactly (a leap second allowed).
bool ParseTime(std::string_view text, int& secondOfDay) {
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (text.size() != 8 || text[2] != ':' || text[5] != ':' || !TwoDigits(text, 0, 23, hour) ||
        !TwoDigits(text, 3, 59, minute) || !TwoDigits(text, 6, 60, second)) {
        return false;
    }
    secondOfDay = hour * 3600 + minute * 60 + second;
    return true;
}

// An empty field gives no value; anything but a number within [low, high] (NaN never is) is
// garbage. `format...` is the floating-point format, for doubles.
template <typename Number, typename... Format>
bool ParseField(std::string_view text, Number low, Number high, std::optional<Number>& value,
                Format... format) {
    value.reset();
    if (text.empty()) return true;
    Number number{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number, format...);
    if (error != std::errc() || stop != end || !(number >= low && number <= high)) return false;
    value = number;
    return true;
}

bool IsHeader(const std::vector<std::string_view>& fields) {
    const size_t n = fields.size();
    if (n < 3 || fields[0] != "Time" || fields[n - 2] != "Focus" || fields[n - 1] != "Filter") {
        return false;
    }
    for (size_t i = 1; i + 2 < n; ++i) {
        if (fields[i] != "T" + std::to_string(i - 1)) return false;
    }
    return true;
}

}  // namespace

// Splits on commas. Only the filter name, the last field, can be quoted (the log quotes a name
// holding a comma, a quote or a line break), so a quoted field must end the line.
bool LogLineParser::Split(std::string_view line) {
    fields_.clear();
    quoted_ = false;
    size_t at = 0;
    while (at >= line.size() || line[at] != '"') {
        const size_t comma = line.find(',', at);
        if (comma == std::string_view::npos) {
            fields_.push_back(line.substr(at));
            return true;
        }
        fields_.push_back(line.substr(at, comma - at));
        at = comma + 1;
    }
    unquoted_.clear();
    for (size_t i = at + 1; i < line.size(); ++i) {
        if (line[i] != '"') {
            unquoted_ += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
            unquoted_ += '"';
            ++i;
        } else {
            if (i + 1 != line.size()) return false;  // text after the closing quote
            fields_.push_back(unquoted_);
            quoted_ = true;
            return true;
        }
    }
    return false;  // never closed
}

LogLineKind LogLineParser::Parse(std::string_view line, LogRow& row) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return LogLineKind::Blank;
    // A NUL byte is never part of a line the log writes, nor a CR outside quotes.
    if (line.find('\0') != std::string_view::npos) return LogLineKind::Malformed;
    if (!Split(line)) return LogLineKind::Malformed;
    if (fields_.front() == "Time") {
        return IsHeader(fields_) ? LogLineKind::Header : LogLineKind::Malformed;
    }

    const size_t n = fields_.size();
    const size_t thermometers = n >= 3 ? n - 3 : 0;
    if (n < 3 || thermometers > static_cast<size_t>(kMaxThermometers) ||
        !ParseTime(fields_[0], row.secondOfDay)) {
        return LogLineKind::Malformed;
    }
    row.hasThermometer = static_cast<size_t>(thermometer_) < thermometers;
    row.temperature.reset();
    for (size_t i = 0; i < thermometers; ++i) {
        std::optional<double> reading;
        if (!ParseField(fields_[1 + i], -kTemperatureLimit, kTemperatureLimit, reading,
                        std::chars_format::fixed)) {
            return LogLineKind::Malformed;
        }
        if (static_cast<int>(i) == thermometer_) row.temperature = reading;
    }
    if (!ParseField(fields_[n - 2], kPositionLow, kPositionHigh, row.position)) {
        return LogLineKind::Malformed;
    }
    row.filter = fields_[n - 1];
    if (!quoted_ && row.filter.find('\r') != std::string_view::npos) return LogLineKind::Malformed;
    return LogLineKind::Row;
}

}  // namespace kavri
