// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/DiagnosticLog.h"

#include <cstdarg>
#include <utility>

#include "platform/RegularFile.h"

namespace kavri {

DiagnosticLog::DiagnosticLog()
    : start_(std::chrono::steady_clock::now()), sink_(DebuggerOutputSink) {}

DiagnosticLog::~DiagnosticLog() {
    CloseFile();
}

double DiagnosticLog::ElapsedSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void DiagnosticLog::Print(const char* format, ...) {
    if (beforePrint_) beforePrint_();
    char line[kBufferSize] = {};
    int used = std::snprintf(line, sizeof line, "%.3f : ", ElapsedSeconds());
    if (used < 0) used = 0;
    if (used < kMaxLineLength) {
        // vsnprintf cuts the text so that the whole line stays within kMaxLineLength.
        va_list args;
        va_start(args, format);
        std::vsnprintf(line + used, sizeof line - static_cast<size_t>(used), format, args);
        va_end(args);
    }
    sink_(line);
    if (file_ != nullptr) {
        // The file gets the caller's line end unchanged, and every line is flushed at once so
        // that a crash later in the night loses nothing already logged.
        if (std::fputs(line, file_) < 0 || std::fflush(file_) != 0) fileWriteFailed_ = true;
    }
}

void DiagnosticLog::SetSink(DiagnosticSink sink) {
    sink_ = sink ? std::move(sink) : DiagnosticSink(DebuggerOutputSink);
}

void DiagnosticLog::SetBeforePrint(std::function<void()> hook) {
    beforePrint_ = std::move(hook);
}

void DiagnosticLog::WriteToSink(const char* text) const {
    sink_(text);
}

bool DiagnosticLog::OpenFile(const std::string& path) {
    CloseFile();
    fileWriteFailed_ = false;
    // Binary mode: the bytes written are exactly the bytes printed, "\r\n" included.
    file_ = OpenRegularFile(path, RegularFileMode::Truncate);
    return file_ != nullptr;
}

void DiagnosticLog::CloseFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

}  // namespace kavri
