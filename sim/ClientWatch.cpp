// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/ClientWatch.h"

#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kavri::sim {

ClientWatch::~ClientWatch() {
    Stop();
}

bool ClientWatch::Start(int slave, const std::string& path) {
    Stop();
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && ::inotify_add_watch(watch_, path.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
    if (watch_ < 0) {
        ::close(slave);
        return false;
    }
    slave_ = slave;
    clients_ = 0;
    return true;
}

void ClientWatch::Stop() {
    for (int* fd : {&slave_, &watch_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    clients_ = 0;
}

void ClientWatch::TakeEvents(const std::function<void(const std::string&)>& log) {
    if (!Active()) return;
    bool closed = false;
    alignas(inotify_event) char buffer[4096];
    while (true) {
        const ssize_t n = ::read(watch_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (const char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            // One open and one close per open file description; the emulator's own
            // descriptor was opened before the watch began and stays open, so it never counts.
            if (event->mask & IN_OPEN) ++clients_;
            if (event->mask & IN_CLOSE) {
                closed = true;
                if (clients_ > 0) --clients_;
            }
            if (event->mask & IN_Q_OVERFLOW)
                log("kavri-sim: open and close events of the line were lost");
            p += sizeof(inotify_event) + event->len;
        }
    }
    // Also when a client came and went between two looks: it may have left the mode set.
    if (closed && clients_ == 0) {
        ::ioctl(slave_, TIOCNXCL);
        ::tcflush(slave_, TCIFLUSH);
    }
}

}  // namespace kavri::sim
