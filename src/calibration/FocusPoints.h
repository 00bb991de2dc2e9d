// SPDX-License-Identifier: GPL-3.0-or-later
// Focus points from the daily temperature logs: where the user (or an autofocus run) left the
// focuser at a temperature. A point is a run of rows with the same filter and the same focuser
// position that lasts at least a minute and that a refocus began: the row before it, in the
// same stretch of logging, had the same filter and another position. Its temperature is the
// median of the run's readings of one thermometer.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "calibration/FocusLogFiles.h"
#include "calibration/FocusLogLine.h"

namespace kavri {

// A run must last this long (first to last row) to count as focus that was settled on.
constexpr int kSettledRunSeconds = 60;
// Focus points kept at most, the newest: about two and a half years of nightly refocusing. Older
// ones are left out and counted, so the memory a calibration takes stays bounded whatever the
// size of the logs it reads.
constexpr size_t kMaxFocusPoints = 20000;
// A line longer than this is no row the log writes; it is counted as malformed unread.
constexpr size_t kMaxLogLineBytes = 1024;
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

// The median of a run's temperatures in bounded memory: exact while the run is short; beyond
// kExactValues readings, counted by hundredths of a degree, the resolution the log writes.
class RunMedian {
public:
    void Reset(double first);
    void Add(double value);
    double Median() const;
    int64_t Count() const { return count_; }

private:
    static constexpr size_t kExactValues = 4096;
    std::vector<double> values_;
    std::map<int32_t, int64_t> hundredths_;
    int64_t count_ = 0;
};

class FocusPointFinder {
public:
    explicit FocusPointFinder(int thermometer) : parser_(thermometer) {}

    // The next log in reading order (OrderLogs): its name (for the statistics) and the date its
    // file name carries, then its lines in order, each without its line feed. A run continues
    // from one log into the next only when the next is dated the day after and its rows follow
    // on in time.
    void BeginLog(const std::string& name, std::optional<CivilDate> date);
    void AddLine(std::string_view line);
    // A line longer than kMaxLogLineBytes, which was not read: malformed.
    void AddOverlongLine() { ++logs_.back().malformed; }
    // A whole log's text at once.
    void AddLog(const std::string& name, std::string_view text, std::optional<CivilDate> date);
    // A log that could not be read: listed, and it ends any run.
    void AddUnreadableLog(const std::string& name);

    // Ends the last run. The points in log order, the newest kMaxFocusPoints of them; a point
    // found twice (the same run in two copies of a log) is kept once.
    std::vector<FocusPoint> Finish();

    const std::vector<LogFileStats>& Logs() const { return logs_; }
    int64_t Duplicates() const { return duplicates_; }
    int64_t LeftOut() const { return leftOut_; }  // older points beyond kMaxFocusPoints

private:
    using PointKey = std::tuple<std::string, int, std::string, int>;
    struct Run {
        bool open = false;
        std::string filter;
        int position = 0;
        int64_t first = 0;  // time line, seconds
        int64_t last = 0;
        bool startedByRefocus = false;
        std::string dateKey;  // the date, or the undated log it began in
        RunMedian temperatures;
    };

    // False when the row is skipped.
    bool Row(const LogRow& row, int64_t time);
    void Break();     // the next row starts afresh, without a known predecessor
    void CloseRun();  // a point from the open run, when it qualifies

    LogLineParser parser_;
    std::vector<LogFileStats> logs_;
    std::deque<FocusPoint> points_;
    std::deque<PointKey> keys_;  // of points_, in the same order
    std::set<PointKey> seen_;
    int64_t duplicates_ = 0;
    int64_t leftOut_ = 0;
    // Where the current log stands: days its rows passed midnight, and its last row's second.
    int64_t dayOffset_ = 0;
    int lastSecond_ = -1;

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
// Each log is read as a stream, a chunk at a time, and only a regular file is read (a FIFO or a
// device is listed as unreadable without a wait).
struct FocusLogScan {
    std::vector<FocusPoint> points;
    std::vector<LogFileStats> logs;
    int64_t duplicates = 0;
    int64_t leftOut = 0;  // older points beyond kMaxFocusPoints
};
FocusLogScan ScanFocusLogs(const std::vector<std::filesystem::path>& paths, int thermometer);

}  // namespace kavri
