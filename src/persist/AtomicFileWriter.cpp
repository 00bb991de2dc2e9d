#include "persist/AtomicFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

namespace kavri {
namespace {

std::string ParentDirectory(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The target to replace: the file a symbolic link names, otherwise the path itself.
std::string ResolveTarget(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved) != nullptr) return resolved;
    }
    return path;
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

bool MakeDirectories(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    const std::string parent = ParentDirectory(path);
    if (parent != path && !MakeDirectories(parent)) return false;
    return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size) {
    if (path.empty()) return false;
    const std::string target = ResolveTarget(path);
    const std::string directory = ParentDirectory(target);
    const std::string base = target.substr(target.find_last_of('/') + 1);
    if (base.empty()) return false;

    // Opened with 0666 so the process umask applies, as it would to a plainly created file.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = directory + "/." + base + ".tmp-" + std::to_string(getpid()) + "-" +
                    std::to_string(temporaryCounter.fetch_add(1));
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    struct stat old {};
    bool ok = true;
    if (stat(target.c_str(), &old) == 0) {
        if (!S_ISREG(old.st_mode))
            ok = false;  // never replace a directory or a device
        else
            fchmod(fd, old.st_mode & 07777);
    }
    ok = ok && WriteAll(fd, static_cast<const unsigned char*>(data), size);
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temporary.c_str());
        return false;
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
