#include "HostLine.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace kavri::sim::test {

using Clock = std::chrono::steady_clock;

Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

HostLine::HostLine(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_, TCSANOW, &tio);
}

HostLine::~HostLine() {
    if (fd_ >= 0) ::close(fd_);
}

void HostLine::Send(const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            return;
        }
    }
}

Bytes HostLine::Read(std::size_t count, std::chrono::milliseconds limit) {
    Bytes out;
    const auto deadline = Clock::now() + limit;
    while (out.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        if (!(p.revents & POLLIN)) break;  // hung up
        std::uint8_t buffer[256];
        ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - out.size()));
        if (n <= 0) break;
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

Bytes HostLine::ReadFor(std::chrono::milliseconds window) {
    return Read(static_cast<std::size_t>(-1), window);
}

Bytes HostLine::Ask(const std::string& command, std::size_t replyLength,
                    std::chrono::milliseconds limit) {
    Send(command);
    return Read(replyLength, limit);
}

bool HostLine::HungUp(std::chrono::milliseconds limit) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0) return false;
    if (p.revents & POLLHUP) return true;
    std::uint8_t byte;
    ssize_t n = ::read(fd_, &byte, 1);
    return n == 0 || (n < 0 && errno == EIO);
}

}  // namespace kavri::sim::test
