// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/SharedFileAccess.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kavri {

FileLock::FileLock(const std::string& lockPath, Mode mode) {
    // Non-blocking open, so that a FIFO put in the lock file's place cannot hang us.
    int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    // A reader without write access to the directory can still lock an existing lock file.
    if (fd < 0 && mode == Mode::Shared)
        fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error_ = std::strerror(errno);
        return;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error_ = "the lock file " + lockPath + " is not a regular file";
        close(fd);
        return;
    }
    int result;
    do {
        result = flock(fd, mode == Mode::Shared ? LOCK_SH : LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        error_ = std::strerror(errno);
        close(fd);
        return;
    }
    fd_ = fd;
}

FileLock::~FileLock() {
    if (fd_ >= 0) close(fd_);  // closing the only descriptor releases the lock
}

FileReadResult ReadRegularFile(const std::string& path, size_t maxSize, std::string& text,
                               std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return FileReadResult::Missing;
        error = std::strerror(errno);
        return FileReadResult::Unreadable;
    }
    struct stat info {};
    FileReadResult result = FileReadResult::Read;
    if (fstat(fd, &info) != 0) {
        error = std::strerror(errno);
        result = FileReadResult::Unreadable;
    } else if (!S_ISREG(info.st_mode)) {
        error = "not a regular file";
        result = FileReadResult::Unreadable;
    } else if (static_cast<size_t>(info.st_size) > maxSize) {
        error = "larger than " + std::to_string(maxSize) + " bytes";
        result = FileReadResult::Unreadable;
    }
    text.clear();
    if (result == FileReadResult::Read) text.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    while (result == FileReadResult::Read) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = std::strerror(errno);
            result = FileReadResult::Unreadable;
        } else if (got == 0) {
            break;
        } else if (text.size() + static_cast<size_t>(got) > maxSize) {
            error = "larger than " + std::to_string(maxSize) + " bytes";
            result = FileReadResult::Unreadable;
        } else {
            text.append(buffer, static_cast<size_t>(got));
        }
    }
    close(fd);
    if (result != FileReadResult::Read) text.clear();
    return result;
}

}  // namespace kavri
