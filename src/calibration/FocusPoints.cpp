// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/FocusPoints.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "platform/PathText.h"
#include "platform/RegularFile.h"

namespace kavri {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// Within one log, a time of day this much earlier than the row before is the next day (logs
// joined into one file); a smaller step back is a clock change and breaks the run instead.
constexpr int kNextDayStepBack = kSecondsPerDay / 2;

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

}  // namespace

void RunMedian::Reset(double first) {
    values_.assign(1, first);
    hundredths_.clear();
    count_ = 1;
}

void RunMedian::Add(double value) {
    ++count_;
    values_.push_back(value);
    if (hundredths_.empty() && values_.size() <= kExactValues) return;
    for (const double exact : values_)
        ++hundredths_[static_cast<int32_t>(std::lround(exact * 100))];
    values_.clear();  // its capacity, kExactValues readings, stays for the next run
}

double RunMedian::Median() const {
    if (hundredths_.empty()) {
        std::vector<double> values = values_;
        const size_t middle = values.size() / 2;
        std::nth_element(values.begin(), values.begin() + middle, values.end());
        const double upper = values[middle];
        if (values.size() % 2 == 1) return upper;
        const double lower = *std::max_element(values.begin(), values.begin() + middle);
        return (lower + upper) / 2;
    }
    // The values in the middle of the count: the one at count / 2, and for an even count also
    // the one before it.
    const int64_t upperRank = count_ / 2;
    const int64_t lowerRank = count_ % 2 == 1 ? upperRank : upperRank - 1;
    int64_t passed = 0;
    std::optional<int32_t> lower;
    for (const auto& [value, times] : hundredths_) {
        passed += times;
        if (!lower && passed > lowerRank) lower = value;
        if (passed > upperRank) return (*lower + value) / 200.0;
    }
    return 0;
}

void FocusPointFinder::BeginLog(const std::string& name, std::optional<CivilDate> date) {
    // Undated logs stand alone: nothing tells where they sit in time.
    if (!date || !logDate_) Break();
    logDate_ = date;
    day_ = date ? DaysFromCivil(*date) : 0;
    undatedKey_ = date ? std::string() : "#" + std::to_string(logs_.size()) + ":" + name;
    logs_.push_back({name});
    dayOffset_ = 0;
    lastSecond_ = -1;
}

void FocusPointFinder::AddLine(std::string_view line) {
    LogFileStats& stats = logs_.back();
    LogRow row;
    const LogLineKind kind = parser_.Parse(line, row);
    if (kind == LogLineKind::Malformed) ++stats.malformed;
    if (kind != LogLineKind::Row) return;
    ++stats.rows;
    if (lastSecond_ >= 0 && row.secondOfDay + kNextDayStepBack < lastSecond_) ++dayOffset_;
    lastSecond_ = row.secondOfDay;
    if (!row.hasThermometer) {
        ++stats.withoutThermometer;
        return;
    }
    const int64_t time = (day_ + dayOffset_) * kSecondsPerDay + row.secondOfDay;
    if (!row.temperature || !row.position || !Row(row, time)) ++stats.skipped;
}

void FocusPointFinder::AddLog(const std::string& name, std::string_view text,
                              std::optional<CivilDate> date) {
    BeginLog(name, date);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        AddLine(text.substr(at, end - at));
        at = end + 1;
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
        run_.temperatures.Add(*row.temperature);
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
    run_.temperatures.Reset(*row.temperature);
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
    point.temperature = run_.temperatures.Median();
    point.position = run_.position;
    point.filter = run_.filter;
    if (run_.dateKey.empty() || run_.dateKey[0] != '#') point.date = run_.dateKey;
    point.secondOfDay =
        static_cast<int>(run_.first - FloorDiv(run_.first, kSecondsPerDay) * kSecondsPerDay);
    point.seconds = static_cast<int>(run_.last - run_.first);
    point.rows = static_cast<int>(std::min<int64_t>(run_.temperatures.Count(), INT32_MAX));
    PointKey key(run_.dateKey, point.secondOfDay, point.filter, point.position);
    if (!seen_.insert(key).second) {
        ++duplicates_;
        return;
    }
    points_.push_back(std::move(point));
    keys_.push_back(std::move(key));
    if (points_.size() > kMaxFocusPoints) {
        seen_.erase(keys_.front());
        keys_.pop_front();
        points_.pop_front();
        ++leftOut_;
    }
}

std::vector<FocusPoint> FocusPointFinder::Finish() {
    Break();
    std::vector<FocusPoint> points(std::make_move_iterator(points_.begin()),
                                   std::make_move_iterator(points_.end()));
    points_.clear();
    keys_.clear();
    return points;
}

namespace {

constexpr size_t kReadChunkBytes = 64 * 1024;

// Feeds one log to the finder a chunk at a time; false when the file could not be opened or
// read to its end.
bool StreamLog(const std::filesystem::path& path, FocusPointFinder& finder) {
    std::FILE* file = OpenRegularFile(PathText(path), RegularFileMode::Read);
    if (file == nullptr) return false;
    finder.BeginLog(PathText(path), LogFileDate(path));
    std::vector<char> chunk(kReadChunkBytes);
    std::string line;
    bool overlong = false;
    size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) {
        for (std::string_view rest(chunk.data(), got); !rest.empty();) {
            const size_t end = rest.find('\n');
            const std::string_view piece = rest.substr(0, end);
            if (!overlong && line.size() + piece.size() > kMaxLogLineBytes) {
                overlong = true;
                line.clear();
            }
            if (!overlong) line.append(piece);
            if (end == std::string_view::npos) break;
            overlong ? finder.AddOverlongLine() : finder.AddLine(line);
            line.clear();
            overlong = false;
            rest.remove_prefix(end + 1);
        }
    }
    const bool complete = std::ferror(file) == 0;
    std::fclose(file);
    if (overlong) {
        finder.AddOverlongLine();
    } else if (!line.empty()) {
        finder.AddLine(line);
    }
    return complete;
}

}  // namespace

FocusLogScan ScanFocusLogs(const std::vector<std::filesystem::path>& paths, int thermometer) {
    FocusPointFinder finder(thermometer);
    std::vector<size_t> cutShort;  // logs a read error ended early
    for (const auto& path : paths) {
        const size_t index = finder.Logs().size();
        if (StreamLog(path, finder)) continue;
        if (finder.Logs().size() == index) {
            finder.AddUnreadableLog(PathText(path));
        } else {
            cutShort.push_back(index);
        }
    }
    FocusLogScan scan;
    scan.points = finder.Finish();
    scan.logs = finder.Logs();
    for (size_t index : cutShort) scan.logs[index].readable = false;
    scan.duplicates = finder.Duplicates();
    scan.leftOut = finder.LeftOut();
    return scan;
}

}  // namespace kavri
