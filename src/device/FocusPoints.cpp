#include "device/FocusPoints.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "device/PathText.h"

namespace kavri {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// Within one log, a time of day this much earlier than the row before is the next day (logs
// joined into one file); a smaller step back is a clock change and breaks the run instead.
constexpr int kNextDayStepBack = kSecondsPerDay / 2;

double Median(std::vector<double>& values) {
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    const double upper = values[middle];
    if (values.size() % 2 == 1) return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + middle);
    return (lower + upper) / 2;
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

}  // namespace

void FocusPointFinder::AddLog(const std::string& name, std::string_view text,
                              std::optional<CivilDate> date) {
    // Undated logs stand alone: nothing tells where they sit in time.
    if (!date || !logDate_) Break();
    logDate_ = date;
    day_ = date ? DaysFromCivil(*date) : 0;
    undatedKey_ = date ? std::string() : "#" + std::to_string(logs_.size()) + ":" + name;

    logs_.push_back({name});
    LogFileStats& stats = logs_.back();
    int64_t dayOffset = 0;
    int lastSecond = -1;
    LogRow row;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;

        const LogLineKind kind = parser_.Parse(line, row);
        if (kind == LogLineKind::Malformed) ++stats.malformed;
        if (kind != LogLineKind::Row) continue;
        ++stats.rows;
        if (lastSecond >= 0 && row.secondOfDay + kNextDayStepBack < lastSecond) ++dayOffset;
        lastSecond = row.secondOfDay;
        if (!row.hasThermometer) {
            ++stats.withoutThermometer;
            continue;
        }
        const int64_t time = (day_ + dayOffset) * kSecondsPerDay + row.secondOfDay;
        if (!row.temperature || !row.position || !Row(row, time)) ++stats.skipped;
    }
}

void FocusPointFinder::AddUnreadableLog(const std::string& name) {
    Break();
    logDate_.reset();
    logs_.push_back({name, false});
}

bool FocusPointFinder::Row(const LogRow& row, int64_t time) {
    const int position = *row.position;
    // An empty name inside a named filter's run is a wheel query that failed, not a change to
    // "no filter"; an empty name anywhere else is a controller without a wheel.
    if (run_.open && row.filter.empty() && !run_.filter.empty() && position == run_.position) {
        return false;
    }
    if (!lastRowTime_ || time < *lastRowTime_ || time - *lastRowTime_ > kMaxRowGapSeconds) {
        Break();
    }
    lastRowTime_ = time;
    if (run_.open && run_.filter == row.filter && run_.position == position) {
        run_.last = time;
        run_.temperatures.push_back(*row.temperature);
        return true;
    }

    bool refocus = false;
    if (run_.open) {
        if (row.filter != run_.filter) {
            lastFilterChange_ = time;
            haveFilterChange_ = true;
        }
        refocus = position != run_.position &&
                  !(haveFilterChange_ && time - lastFilterChange_ <= kFilterOffsetSeconds);
    }
    CloseRun();
    run_.open = true;
    run_.filter.assign(row.filter);
    run_.position = position;
    run_.first = run_.last = time;
    run_.startedByRefocus = refocus;
    run_.dateKey =
        logDate_ ? FormatIsoDate(CivilFromDays(FloorDiv(time, kSecondsPerDay))) : undatedKey_;
    run_.temperatures.assign(1, *row.temperature);
    return true;
}

void FocusPointFinder::Break() {
    CloseRun();
    lastRowTime_.reset();
    haveFilterChange_ = false;
}

void FocusPointFinder::CloseRun() {
    if (!run_.open) return;
    run_.open = false;
    if (!run_.startedByRefocus || run_.last - run_.first < kSettledRunSeconds) return;

    FocusPoint point;
    point.temperature = Median(run_.temperatures);
    point.position = run_.position;
    point.filter = run_.filter;
    if (run_.dateKey.empty() || run_.dateKey[0] != '#') point.date = run_.dateKey;
    point.secondOfDay =
        static_cast<int>(run_.first - FloorDiv(run_.first, kSecondsPerDay) * kSecondsPerDay);
    point.seconds = static_cast<int>(run_.last - run_.first);
    point.rows = static_cast<int>(run_.temperatures.size());
    if (!seen_.emplace(run_.dateKey, point.secondOfDay, point.filter, point.position).second) {
        ++duplicates_;
        return;
    }
    points_.push_back(std::move(point));
}

std::vector<FocusPoint> FocusPointFinder::Finish() {
    Break();
    return std::move(points_);
}

FocusLogScan ScanFocusLogs(const std::vector<std::filesystem::path>& paths, int thermometer) {
    FocusPointFinder finder(thermometer);
    for (const auto& path : paths) {
        std::error_code error;
        std::ifstream file;
        if (std::filesystem::is_regular_file(path, error)) file.open(path, std::ios::binary);
        if (!file.is_open()) {
            finder.AddUnreadableLog(PathText(path));
            continue;
        }
        const std::string text((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
        finder.AddLog(PathText(path), text, LogFileDate(path));
    }
    FocusLogScan scan;
    scan.points = finder.Finish();
    scan.logs = finder.Logs();
    scan.duplicates = finder.Duplicates();
    return scan;
}

}  // namespace kavri
