// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/RegularFile.h"

namespace kavri {

std::FILE* OpenRegularFile(const std::string& path, RegularFileMode mode, std::string* reason,
                           bool* missing) {
    const auto fail = [&](int error, const char* text) -> std::FILE* {
        if (reason) *reason = text ? text : std::strerror(error);
        if (missing) *missing = error == ENOENT;
        errno = error;
        return nullptr;
    };
    int flags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const char* streamMode = "rb";
    switch (mode) {
        case RegularFileMode::Read:
            flags |= O_RDONLY;
            break;
        case RegularFileMode::Truncate:
            flags |= O_WRONLY | O_CREAT;
            streamMode = "wb";
            break;
        case RegularFileMode::Append:
            flags |= O_RDWR | O_APPEND | O_CREAT;
            streamMode = "a+b";
            break;
    }
    const int fd = open(path.c_str(), flags, 0644);
    if (fd < 0) return fail(errno, nullptr);
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return fail(EINVAL, "not a regular file");
    }
    // Truncated only now that it is known to be a regular file; blocking again for the I/O.
    if ((mode == RegularFileMode::Truncate && ftruncate(fd, 0) != 0) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        const int error = errno;
        close(fd);
        return fail(error, nullptr);
    }
    std::FILE* file = fdopen(fd, streamMode);
    if (file == nullptr) {
        const int error = errno;
        close(fd);
        return fail(error, nullptr);
    }
    return file;
}

}  // namespace kavri
