// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostLine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

namespace kavri::sim::test {

EmulatorOptions Fast(const std::function<void(EmulatorOptions&)>& change) {
    EmulatorOptions options;
    options.fast = true;
    if (change) change(options);
    return options;
}

SimRig::SimRig(EmulatorOptions options)
    : emulator(std::move(options)), line([this] {
          std::string error;
          EXPECT_TRUE(emulator.Start(&error)) << error;
          return emulator.SlavePath();
      }()) {}

HostLine::HostLine(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_, TCSANOW, &tio);
}

void HostLine::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

// Commands are far shorter than the terminal's buffer: one write takes them whole.
void HostLine::Send(const std::string& bytes) {
    EXPECT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

std::string HostLine::Read(std::size_t count, std::chrono::milliseconds limit) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        if (!(p.revents & POLLIN)) break;  // hung up
        char buffer[256];
        const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - out.size()));
        if (n <= 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

bool HostLine::HungUp() {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0) return false;
    if (p.revents & POLLHUP) return true;
    char byte;
    const ssize_t n = ::read(fd_, &byte, 1);
    return n == 0 || (n < 0 && errno == EIO);
}

void RunSteps(HostLine& line, const std::vector<Step>& steps) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
        std::string shown;
        for (char c : steps[i].send) shown += std::isprint(static_cast<unsigned char>(c)) ? c : '.';
        SCOPED_TRACE("step " + std::to_string(i + 1) + ": " + shown);
        line.Send(steps[i].send);
        // Fast mode answers at once: a short look is enough to see a reply that should not be
        // there, and a late one would still spoil the next step.
        EXPECT_EQ(steps[i].reply.empty() ? line.ReadFor(150ms) : line.Read(steps[i].reply.size()),
                  steps[i].reply);
    }
}

}  // namespace kavri::sim::test
