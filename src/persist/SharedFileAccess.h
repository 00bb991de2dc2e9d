// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and locking a file that several programs share: a lock file beside it, and reads
// that never block on something that is not a regular file.
#pragma once

#include <cstddef>
#include <string>

namespace kavri {

// An flock on a lock file, held from construction to destruction. The lock file is created
// when missing and never removed, so that every program locks the same inode; it is a file
// of its own because the shared file itself is replaced by rename, which would leave a lock
// on it behind on the old inode. Waiting for the lock blocks: holders keep it only while
// they read or write a small file.
class FileLock {
public:
    enum class Mode { Shared, Exclusive };

    FileLock(const std::string& lockPath, Mode mode);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // False when the lock file could not be opened or locked; `Error` says why.
    bool Held() const { return fd_ >= 0; }
    const std::string& Error() const { return error_; }

private:
    int fd_ = -1;
    std::string error_;
};

enum class FileReadResult { Read, Missing, Unreadable };

// Reads a whole file into `text`. Missing when nothing is at `path`; Unreadable, with the
// reason in `error`, for an I/O error, a file larger than `maxSize`, or anything that is not
// a regular file (a directory, or a FIFO, which is opened without blocking and refused).
FileReadResult ReadRegularFile(const std::string& path, size_t maxSize, std::string& text,
                               std::string& error);

}  // namespace kavri
