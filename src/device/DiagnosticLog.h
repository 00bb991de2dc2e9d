// SPDX-License-Identifier: GPL-3.0-or-later
// The device's text log of protocol events. Every line is prefixed with the seconds since the
// log was constructed and goes to the sink and, while one is open, to the log file.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/DiagnosticSink.h"
#include "platform/PrintfFormat.h"

namespace kavri {

class DiagnosticLog {
public:
    static constexpr int kBufferSize = 2048;
    static constexpr int kMaxLineLength = kBufferSize - 1;

    DiagnosticLog();
    ~DiagnosticLog();
    DiagnosticLog(const DiagnosticLog&) = delete;
    DiagnosticLog& operator=(const DiagnosticLog&) = delete;

    // printf-style; the caller's text carries its own "\r\n". The line, prefix included, is cut
    // to kMaxLineLength characters. Uses a fixed buffer and allocates nothing.
    void Print(const char* format, ...) KAVRI_PRINTF_FORMAT(2, 3);

    // Replaces the sink; an empty function restores the debugger output.
    void SetSink(DiagnosticSink sink);

    // Passes text to the sink only, without prefix and without the file (byte traces).
    void WriteToSink(const char* text) const;

    // Called before every Print line, so that text still held back for the sink (a byte trace
    // line being collected) comes out ahead of it; an empty function removes it.
    void SetBeforePrint(std::function<void()> hook);

    // Opens (creating or truncating) the log file, closing any open one first. The file gets
    // exactly the bytes printed and is flushed after every line. Only a regular file is taken:
    // the open never blocks, so a FIFO without a reader cannot stall a connection, and a
    // device or a FIFO is refused. False when the file cannot be opened or is refused.
    bool OpenFile(const std::string& path);
    void CloseFile();
    bool HasFile() const { return file_ != nullptr; }
    // True once a line could not be written to the file opened last (a full disk); the lines
    // after it are still tried.
    bool FileWriteFailed() const { return fileWriteFailed_; }

    // Seconds since construction, not truncated.
    double ElapsedSeconds() const;

private:
    std::FILE* file_ = nullptr;
    bool fileWriteFailed_ = false;
    std::chrono::steady_clock::time_point start_;
    DiagnosticSink sink_;
    std::function<void()> beforePrint_;
};

}  // namespace kavri
