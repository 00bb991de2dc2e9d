#include "sim/PortLink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kavri::sim {

namespace {

std::string ReadLink(const std::string& path) {
    char buffer[4096];
    ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
    return n < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
}

bool MakeDirectories(const std::string& dir, std::string* error) {
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        partial = dir.substr(0, pos);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
            *error = "cannot create " + partial + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = dir + " is not a directory";
        return false;
    }
    return true;
}

}  // namespace

std::string ComPortLinkPath(int number) {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.config";
    }
    return base + "/kavri/ports/com" + std::to_string(number);
}

PortLink::~PortLink() {
    Remove();
}

bool PortLink::Create(const std::string& path, const std::string& target, std::string* error) {
    std::string dir = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/'));
    if (!dir.empty() && !MakeDirectories(dir, error)) return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            *error = path + " exists and is not a link; it is left alone";
            return false;
        }
        std::string existing = ReadLink(path);
        const bool stalePty =
            existing.rfind("/dev/pts/", 0) == 0 && ::access(existing.c_str(), F_OK) != 0;
        if (existing != target && !stalePty) {
            *error = path + " already points to " + existing + "; it is left alone";
            return false;
        }
        ::unlink(path.c_str());
    }
    if (::symlink(target.c_str(), path.c_str()) != 0) {
        *error = "cannot create the link " + path + ": " + std::strerror(errno);
        return false;
    }
    path_ = path;
    target_ = target;
    return true;
}

void PortLink::Remove() {
    if (path_.empty()) return;
    if (ReadLink(path_) == target_) ::unlink(path_.c_str());
    path_.clear();
}

}  // namespace kavri::sim
