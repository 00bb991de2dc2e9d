// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/FocusLogFiles.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <set>
#include <system_error>

namespace kavri {

namespace {

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDate(const CivilDate& date) {
    return date.month >= 1 && date.month <= 12 && date.day >= 1 &&
           date.day <= DaysInMonth(date.year, date.month);
}

// A whole field of `digits` decimal digits (any number of them when `digits` is 0).
std::optional<int> Digits(std::string_view text, size_t digits) {
    if (text.empty() || (digits != 0 && text.size() != digits) || text.size() > 6) {
        return std::nullopt;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return value;
}

// "Y-MM-DD" with `yearDigits` digits of year (0: the year as the log's "%i" writes it).
std::optional<CivilDate> ParseDate(std::string_view text, size_t yearDigits) {
    const size_t firstDash = text.find('-');
    if (firstDash == std::string_view::npos || text.size() != firstDash + 6 ||
        text[firstDash + 3] != '-') {
        return std::nullopt;
    }
    const auto year = Digits(text.substr(0, firstDash), yearDigits);
    const auto month = Digits(text.substr(firstDash + 1, 2), 2);
    const auto day = Digits(text.substr(firstDash + 4, 2), 2);
    if (!year || !month || !day) return std::nullopt;
    const CivilDate date{*year, *month, *day};
    if (!IsValidDate(date)) return std::nullopt;
    return date;
}

}  // namespace

// Howard Hinnant's days-from-civil algorithm: exact for every Gregorian date.
int64_t DaysFromCivil(const CivilDate& date) {
    const int64_t y = date.year - (date.month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear =
        (153 * (date.month + (date.month > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

CivilDate CivilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    return {year, month, day};
}

std::optional<CivilDate> ParseIsoDate(std::string_view text) {
    return ParseDate(text, 4);
}

std::string FormatIsoDate(const CivilDate& date) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    return text;
}

std::optional<CivilDate> LogFileDate(const std::filesystem::path& path) {
    constexpr std::string_view kPrefix = "term_log_";
    constexpr std::string_view kSuffix = ".csv";
    const std::string name = path.filename().string();
    const std::string_view view(name);
    if (view.size() <= kPrefix.size() + kSuffix.size() || !view.starts_with(kPrefix) ||
        !view.ends_with(kSuffix)) {
        return std::nullopt;
    }
    return ParseDate(view.substr(kPrefix.size(), view.size() - kPrefix.size() - kSuffix.size()), 0);
}

std::vector<std::filesystem::path> DailyLogsSince(const std::filesystem::path& directory,
                                                  const CivilDate& first) {
    std::vector<std::pair<CivilDate, std::filesystem::path>> found;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        const auto date = LogFileDate(it->path());
        if (date && *date >= first && it->is_regular_file(error)) {
            found.emplace_back(*date, it->path());
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::filesystem::path> paths;
    for (auto& [date, path] : found) paths.push_back(std::move(path));
    return paths;
}

std::vector<std::filesystem::path> OrderLogs(const std::vector<std::filesystem::path>& paths) {
    std::vector<std::filesystem::path> unique;
    std::set<std::filesystem::path> seen;
    for (const auto& path : paths) {
        std::error_code error;
        std::filesystem::path identity = std::filesystem::weakly_canonical(path, error);
        if (error) identity = path;
        if (seen.insert(identity).second) unique.push_back(path);
    }
    // A log without a date sorts after every dated one; equal dates keep the given order.
    std::stable_sort(unique.begin(), unique.end(), [](const auto& a, const auto& b) {
        const auto dateA = LogFileDate(a);
        const auto dateB = LogFileDate(b);
        if (!dateA || !dateB) return dateA.has_value() && !dateB.has_value();
        return *dateA < *dateB;
    });
    return unique;
}

}  // namespace kavri
