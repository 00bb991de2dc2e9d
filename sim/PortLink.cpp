// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/PortLink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/AtomicFileWriter.h"
#include "platform/PortMapLocation.h"

namespace kavri::sim {

namespace {

std::string ReadLink(const std::string& path) {
    char buffer[4096];
    ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
    return n < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
}

bool MakeParentDirectories(const std::string& dir, std::string* error) {
    errno = 0;
    if (MakeDirectories(dir)) return true;
    *error = "cannot create the directory " + dir;
    if (errno != 0) *error += std::string(": ") + std::strerror(errno);
    return false;
}

}  // namespace

std::string ComPortLinkPath(int number) {
    // The same place the programs look, by the same rule.
    return PortMapLinkPath(number).string();
}

PortLink::~PortLink() {
    Remove();
}

bool PortLink::Create(const std::string& path, const std::string& target, std::string* error) {
    std::string dir = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/'));
    if (!dir.empty() && !MakeParentDirectories(dir, error)) return false;
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
