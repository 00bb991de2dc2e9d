// SPDX-License-Identifier: GPL-3.0-or-later
// The daily temperature log: a CSV file "term_log_YYYY-MM-DD.csv" in the data directory that
// gets one row per tick while a focuser is connected - the time of day, every thermometer,
// the focuser position and the current filter's name. Lines end with CR LF.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/LocalClock.h"

namespace kavri {

// The readings of one row; an empty optional becomes an empty field.
struct TemperatureSample {
    std::vector<std::optional<float>> temperatures;  // one entry per thermometer
    std::optional<int> focuserPosition;
    std::optional<std::string> filterName;
};

// "term_log_%i-%02i-%02i.csv" with the local year, month and day.
std::string TemperatureLogFileName(const LocalDateTime& time);

// "Time,T0,...,Tn-1,Focus,Filter" and CR LF.
std::string FormatTemperatureHeader(int thermometerCount);

// "hh:mm:ss", ",%.2f" per thermometer, ",%i" focus, ",name" and CR LF.
std::string FormatTemperatureRow(const LocalDateTime& time, const TemperatureSample& sample);

class TemperatureLog {
public:
    using Sampler = std::function<TemperatureSample()>;

    explicit TemperatureLog(std::filesystem::path directory, LocalClock clock = ReadLocalClock);

    // Reads the clock once (file name and row time both come from that reading), opens the
    // day's file for append - creating the directory when missing - and only then calls
    // `sample` for the readings, so nothing is asked of the controller when the file cannot
    // be written. Writes the header when the file is empty, then the row, and closes the
    // file. Returns false when the file could not be opened or written; the next call simply
    // tries again.
    bool Append(const Sampler& sample);

    // Called after every row that reached the file, with the file and the row as written
    // (a command-line run counts its rows and reports the file with it).
    using RowWritten =
        std::function<void(const std::filesystem::path& file, const std::string& row)>;
    void SetRowWritten(RowWritten callback) { rowWritten_ = std::move(callback); }
    // Called after every row that could not be written, with the file and the reason (the
    // system's error text, or "not a regular file").
    using RowFailed =
        std::function<void(const std::filesystem::path& file, const std::string& reason)>;
    void SetRowFailed(RowFailed callback) { rowFailed_ = std::move(callback); }

    std::filesystem::path PathFor(const LocalDateTime& time) const;
    const std::filesystem::path& Directory() const { return directory_; }

private:
    std::filesystem::path directory_;
    LocalClock clock_;
    RowWritten rowWritten_;
    RowFailed rowFailed_;
};

// The log that the device's 5-second timer (LogTemperatures) writes to: the one installed
// with SetActiveTemperatureLog, or else KavriDataDirectory() of the environment at the time
// of the tick, with the local clock. std::nullopt goes back to that default.
TemperatureLog ActiveTemperatureLog();
void SetActiveTemperatureLog(std::optional<TemperatureLog> log);

// The most thermometers a controller accepts; a larger count in the image is taken as this,
// so a corrupt count byte cannot stall every tick with hundreds of unanswered queries.
constexpr int kMaxThermometers = 8;

}  // namespace kavri
