#include "device/DiagnosticLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <utility>

namespace kavri {

DiagnosticLog::DiagnosticLog()
    : start_(std::chrono::steady_clock::now()), sink_(StandardErrorSink) {}

DiagnosticLog::~DiagnosticLog() {
    CloseFile();
}

double DiagnosticLog::ElapsedSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void DiagnosticLog::Print(const char* format, ...) {
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
    sink_ = sink ? std::move(sink) : DiagnosticSink(StandardErrorSink);
}

void DiagnosticLog::WriteToSink(const char* text) const {
    sink_(text);
}

bool DiagnosticLog::OpenFile(const std::string& path) {
    CloseFile();
    fileWriteFailed_ = false;
    // Non-blocking, so that a FIFO cannot hold the open; truncated only once it is known to
    // be a regular file.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ftruncate(fd, 0) != 0 ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return false;
    }
    // Binary mode: the bytes written are exactly the bytes printed, "\r\n" included.
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) close(fd);
    return file_ != nullptr;
}

void DiagnosticLog::CloseFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

}  // namespace kavri
