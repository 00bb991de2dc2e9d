// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/TemperatureLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "platform/PathText.h"
#include "platform/RegularFile.h"

namespace kavri {

namespace {

constexpr const char* kLineEnd = "\r\n";

// Ordinary names are written as they are. A name holding a separator, a quote or a line
// break would split or break the row, so such a name is quoted the CSV way instead.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string TemperatureLogFileName(const LocalDateTime& time) {
    char name[64];
    std::snprintf(name, sizeof name, "term_log_%i-%02i-%02i.csv", time.year, time.month, time.day);
    return name;
}

std::string FormatTemperatureHeader(int thermometerCount) {
    std::string header = "Time,";
    for (int i = 0; i < thermometerCount; ++i) header += "T" + std::to_string(i) + ",";
    return header + "Focus,Filter" + kLineEnd;
}

std::string FormatTemperatureRow(const LocalDateTime& time, const TemperatureSample& sample) {
    char field[64];
    std::snprintf(field, sizeof field, "%02i:%02i:%02i", time.hour, time.minute, time.second);
    std::string row = field;
    for (const auto& temperature : sample.temperatures) {
        row += ',';
        if (temperature) {
            std::snprintf(field, sizeof field, "%.2f", static_cast<double>(*temperature));
            row += field;
        }
    }
    row += ',';
    if (sample.focuserPosition) row += std::to_string(*sample.focuserPosition);
    row += ',';
    if (sample.filterName) row += CsvField(*sample.filterName);
    return row + kLineEnd;
}

TemperatureLog::TemperatureLog(std::filesystem::path directory, LocalClock clock)
    : directory_(std::move(directory)), clock_(std::move(clock)) {}

std::filesystem::path TemperatureLog::PathFor(const LocalDateTime& time) const {
    return directory_ / TemperatureLogFileName(time);
}

bool TemperatureLog::Append(const Sampler& sample) {
    const LocalDateTime now = clock_();
    std::error_code error;
    std::filesystem::create_directories(directory_, error);  // failure shows at the open

    const auto path = PathFor(now);
    const auto fail = [&](const std::string& reason) {
        if (rowFailed_) rowFailed_(path, reason);
        return false;
    };
    // Never blocks in the open, so that a FIFO in the file's place cannot hold the tick.
    std::string reason;
    std::FILE* file = OpenRegularFile(PathText(path), RegularFileMode::Append, &reason);
    if (file == nullptr) return fail(reason);
    if (std::fseek(file, 0, SEEK_END) != 0) {
        const int error = errno;
        std::fclose(file);
        return fail(std::strerror(error));
    }
    const long size = std::ftell(file);

    const TemperatureSample readings = sample();
    std::string text;
    if (size == 0) {
        text = FormatTemperatureHeader(static_cast<int>(readings.temperatures.size()));
    } else if (size > 0 && std::fseek(file, -1, SEEK_END) == 0 && std::fgetc(file) != '\n') {
        // A row cut short (a crash or full disk during an earlier write) is closed off so the
        // new row starts on a line of its own instead of being glued onto the broken one.
        text = kLineEnd;
    }
    const std::string row = FormatTemperatureRow(now, readings);
    text += row;

    // One write for header and row (the stream's buffer holds both), so a reader never sees a
    // header without its row. Writes go to the end of the file whatever was read before.
    std::fseek(file, 0, SEEK_END);
    errno = 0;
    const bool allWritten =
        std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
    const int writeError = errno != 0 ? errno : EIO;
    const int closed = std::fclose(file);
    if (!allWritten) return fail(std::strerror(writeError));
    if (closed != 0) return fail(std::strerror(errno));
    if (rowWritten_) rowWritten_(path, row);
    return true;
}

}  // namespace kavri
