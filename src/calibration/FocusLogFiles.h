// SPDX-License-Identifier: GPL-3.0-or-later
// The daily temperature logs as input of the focus calibration: calendar dates, the date a
// log's file name carries, and which logs of the data folder a calibration reads.
#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavri {

struct CivilDate {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    auto operator<=>(const CivilDate&) const = default;
};

// Days since 1970-01-01 in the proleptic Gregorian calendar (negative before it), and back.
int64_t DaysFromCivil(const CivilDate& date);
CivilDate CivilFromDays(int64_t days);

// "YYYY-MM-DD" naming a real calendar date; std::nullopt for anything else.
std::optional<CivilDate> ParseIsoDate(std::string_view text);
std::string FormatIsoDate(const CivilDate& date);

// The date in a daily log's file name, "term_log_Y-MM-DD.csv"; std::nullopt for other names.
std::optional<CivilDate> LogFileDate(const std::filesystem::path& path);

// The daily logs in `directory` dated `first` or later, oldest first. A missing or unreadable
// directory simply has none.
std::vector<std::filesystem::path> DailyLogsSince(const std::filesystem::path& directory,
                                                  const CivilDate& first);

// The order in which logs are read: by the date in their names, oldest first, so that a run
// of rows continues across midnight; logs without a date follow in the order given. A file
// named twice (by the same or another path) is kept once, at its first place.
std::vector<std::filesystem::path> OrderLogs(const std::vector<std::filesystem::path>& paths);

}  // namespace kavri
