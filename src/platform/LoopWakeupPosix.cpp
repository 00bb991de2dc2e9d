// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "platform/LoopWakeup.h"

namespace kavri {

// A non-blocking pipe: a wake-up is a byte written to it; the waiter polls its read end.
struct LoopWakeup::Handles {
    int read = -1;
    int write = -1;
};

LoopWakeup::LoopWakeup() : handles_(std::make_unique<Handles>()) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        handles_->read = fds[0];
        handles_->write = fds[1];
    }
}

LoopWakeup::~LoopWakeup() {
    if (handles_->read >= 0) close(handles_->read);
    if (handles_->write >= 0) close(handles_->write);
}

void LoopWakeup::Wake() {
    if (handles_->write < 0) return;
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing is lost when this write fails.
    [[maybe_unused]] ssize_t written = write(handles_->write, &byte, 1);
}

void LoopWakeup::Wait(int waitMs) {
    pollfd wake{handles_->read, POLLIN, 0};
    // EINTR (a signal) ends the wait like a wake-up, so the caller looks at its flags again.
    if (poll(&wake, handles_->read >= 0 ? 1 : 0, waitMs) > 0) Clear();
}

void LoopWakeup::Clear() {
    char buffer[64];
    while (handles_->read >= 0 && read(handles_->read, buffer, sizeof buffer) > 0) {
    }
}

}  // namespace kavri
