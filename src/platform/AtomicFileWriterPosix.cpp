// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AtomicFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace kavri {
namespace {

// As many links as the kernel follows before it reports a loop.
constexpr int kMaxLinkDepth = 40;

// errno is left set too, for callers that look there rather than at `error`.
bool Fail(std::string* error, int errorNumber, const std::string& reason) {
    if (error != nullptr) *error = reason;
    errno = errorNumber;
    return false;
}

bool FailErrno(std::string* error, int errorNumber) {
    return Fail(error, errorNumber, std::strerror(errorNumber));
}

bool WriteAll(int fd, const unsigned char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

std::atomic<unsigned> temporaryCounter{0};

}  // namespace

std::string ParentDirectory(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool MakeDirectories(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    const std::string parent = ParentDirectory(path);
    if (parent != path && !MakeDirectories(parent)) return false;
    return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

bool ResolveSymbolicLinks(const std::string& path, std::string& target, std::string* error) {
    // Followed by hand rather than with realpath(), which fails for a dangling link: that
    // link must lead to the file it names, not be replaced by a file of its own.
    std::string current = path;
    for (int depth = 0; depth <= kMaxLinkDepth; ++depth) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0) {
            if (errno != ENOENT) return FailErrno(error, errno);
            target = current;  // nothing there yet: the file to create
            return true;
        }
        if (!S_ISLNK(info.st_mode)) {
            target = current;
            return true;
        }
        std::vector<char> buffer(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
        const ssize_t length = readlink(current.c_str(), buffer.data(), buffer.size());
        if (length < 0) return FailErrno(error, errno);
        if (static_cast<size_t>(length) >= buffer.size()) return FailErrno(error, ENAMETOOLONG);
        const std::string next(buffer.data(), static_cast<size_t>(length));
        if (next.empty()) return FailErrno(error, ENOENT);
        current = next.front() == '/' ? next : ParentDirectory(current) + "/" + next;
    }
    return FailErrno(error, ELOOP);
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error) {
    if (path.empty()) return FailErrno(error, ENOENT);
    std::string target;
    if (!ResolveSymbolicLinks(path, target, error)) return false;
    const std::string directory = ParentDirectory(target);
    const std::string base = target.substr(target.find_last_of('/') + 1);
    if (base.empty() || base == "." || base == "..") return FailErrno(error, EISDIR);

    struct stat old {};
    const bool replacing = stat(target.c_str(), &old) == 0;
    if (replacing) {
        // Never replace a directory, a device or a FIFO with a file.
        if (!S_ISREG(old.st_mode)) return Fail(error, EINVAL, "not a regular file");
        // Root may write anything, so the permission bits decide: a file its owner cannot
        // write was protected on purpose and is left alone.
        if ((old.st_mode & S_IWUSR) == 0) return Fail(error, EACCES, "the file is read-only");
    }

    // Opened with 0666 so the process umask applies, as it would to a plainly created file.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = directory + "/." + base + ".tmp-" + std::to_string(getpid()) + "-" +
                    std::to_string(temporaryCounter.fetch_add(1));
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return FailErrno(error, errno);
    }
    if (fd < 0) return FailErrno(error, EEXIST);

    if (replacing) {
        fchmod(fd, old.st_mode & 07777);
        // Only root can give the file back to its owner; for anyone else it is theirs already.
        if (fchown(fd, old.st_uid, old.st_gid) != 0) errno = 0;
    }
    int failure = 0;
    if (!WriteAll(fd, static_cast<const unsigned char*>(data), size) || fsync(fd) != 0)
        failure = errno != 0 ? errno : EIO;
    if (close(fd) != 0 && failure == 0) failure = errno != 0 ? errno : EIO;
    if (failure == 0 && rename(temporary.c_str(), target.c_str()) != 0)
        failure = errno != 0 ? errno : EIO;
    if (failure != 0) {
        unlink(temporary.c_str());
        return FailErrno(error, failure);
    }
    // Make the rename itself durable; a failure here cannot undo the new content.
    const int dirFd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return true;
}

}  // namespace kavri
