// Focus points from the daily temperature logs: where the user (or an autofocus run) left the
// focuser at a temperature. A point is a run of rows with the same filter and the same focuser
// position that lasts at least a minute and that a refocus began: the row before it, in the
// same stretch of logging, had the same filter and another position. Its temperature is the
// median of the run's readings of one thermometer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "device/FocusLogFiles.h"
#include "device/FocusLogLine.h"

namespace kavri {

// A run must last this long (first to last row) to count as focus that was settled on.
constexpr int kSettledRunSeconds = 60;
// Rows further apart than this (the program stopped, the clock jumped) do not continue a run:
// what happened between them is unknown.
constexpr int kMaxRowGapSeconds = 60;
// The controller applies a filter's focus offset as it turns the wheel, so a position change
// this soon after a filter change is that offset, not a refocus.
constexpr int kFilterOffsetSeconds = 15;

struct FocusPoint {
    double temperature = 0;  // median of the run, degrees
    int position = 0;
    std::string filter;   // the controller's bytes; empty for a controller without a wheel
    std::string date;     // "YYYY-MM-DD" of the run's first row; empty when the log's name has none
    int secondOfDay = 0;  // the run's first row
    int seconds = 0;      // from the first to the last row
    int rows = 0;
};

struct LogFileStats {
    std::string path;
    bool readable = true;
    int64_t rows = 0;                // rows, headers and blank lines not counted
    int64_t malformed = 0;           // lines that are not a header, a row or blank
    int64_t skipped = 0;             // rows without a reading of the thermometer or of the position
    int64_t withoutThermometer = 0;  // rows with no column for the thermometer
};

class FocusPointFinder {
public:
    explicit FocusPointFinder(int thermometer) : parser_(thermometer) {}

    // The next log in reading order (OrderLogs): its name (for the statistics), its whole
    // text, and the date its file name carries. A run continues from one log into the next
    // only when the next is dated the day after and its rows follow on in time.
    void AddLog(const std::string& name, std::string_view text, std::optional<CivilDate> date);
    // A log that could not be read: listed, and it ends any run.
    void AddUnreadableLog(const std::string& name);

    // Ends the last run. The points in log order; a point found twice (the same run in two
    // copies of a log) is kept once.
    std::vector<FocusPoint> Finish();

    const std::vector<LogFileStats>& Logs() const { return logs_; }
    int64_t Duplicates() const { return duplicates_; }

private:
    struct Run {
        bool open = false;
        std::string filter;
        int position = 0;
        int64_t first = 0;  // time line, seconds
        int64_t last = 0;
        bool startedByRefocus = false;
        std::string dateKey;  // the date, or the undated log it began in
        std::vector<double> temperatures;
    };

    // False when the row is skipped.
    bool Row(const LogRow& row, int64_t time);
    void Break();     // the next row starts afresh, without a known predecessor
    void CloseRun();  // a point from the open run, when it qualifies

    LogLineParser parser_;
    std::vector<LogFileStats> logs_;
    std::vector<FocusPoint> points_;
    std::set<std::tuple<std::string, int, std::string, int>> seen_;
    int64_t duplicates_ = 0;

    // Where the logs being read stand on one time line: days since 1970 of the current log
    // (an undated log gets a line of its own) plus the second of the day.
    std::optional<CivilDate> logDate_;
    std::string undatedKey_;  // tells apart points of undated logs
    int64_t day_ = 0;
    Run run_;
    std::optional<int64_t> lastRowTime_;
    int64_t lastFilterChange_ = 0;
    bool haveFilterChange_ = false;
};

// Reads the logs in the order given (see OrderLogs) and finds their focus points.
struct FocusLogScan {
    std::vector<FocusPoint> points;
    std::vector<LogFileStats> logs;
    int64_t duplicates = 0;
};
FocusLogScan ScanFocusLogs(const std::vector<std::filesystem::path>& paths, int thermometer);

}  // namespace kavri
