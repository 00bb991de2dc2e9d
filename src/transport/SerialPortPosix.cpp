// SPDX-License-Identifier: GPL-3.0-or-later
// Serial port on a POSIX terminal device.
//
// The descriptor is non-blocking; every wait is a poll() against a deadline on the monotonic
// clock, which reproduces the controller's read and write time-outs: a read of n bytes ends
// when the n-th byte arrives, when 100 ms pass after a byte without the next one, or after
// 100 + 100·n ms in all; a write of n bytes is cut short after 100 + 100·n ms.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <memory>
#include <utility>

#include "transport/PortAccessPosix.h"
#include "transport/SerialPort.h"
#include "transport/UucpLock.h"

namespace kavri {

struct SerialPort {
    int fd = -1;
    PortTrace trace;
    bool hungUp = false;
    uint64_t bytesSeen = 0;  // read or purged
    termios original{};      // the settings before our open, put back at close
    UucpLock lock;           // our lock file, while the port is open
};

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kIntervalTimeoutMs = kInterByteTimeoutMs;
constexpr int kTotalTimeoutConstantMs = 100;
constexpr int kTotalTimeoutPerByteMs = 100;

Clock::time_point TotalDeadline(Clock::time_point start, int n) {
    return start +
           std::chrono::milliseconds(kTotalTimeoutConstantMs + int64_t{kTotalTimeoutPerByteMs} * n);
}

// Milliseconds left until the deadline, rounded up so poll() never wakes early and spins.
int MsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<int64_t>((left + 999) / 1000, INT_MAX));
}

bool SpeedFor(int baud, speed_t& speed) {
    static constexpr std::pair<int, speed_t> kSpeeds[] = {
        {300, B300},     {600, B600},       {1200, B1200},     {2400, B2400},
        {4800, B4800},   {9600, B9600},     {19200, B19200},   {38400, B38400},
        {57600, B57600}, {115200, B115200}, {230400, B230400},
    };
    for (const auto& [value, constant] : kSpeeds) {
        if (value == baud) {
            speed = constant;
            return true;
        }
    }
    return false;
}

// Raw 8N1 without any flow control; the receiver is on and modem status lines are ignored.
void ApplyLineSettings(int fd, int baud) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return;
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    // Reads never block in the driver (the descriptor is non-blocking); poll() reports input
    // as soon as one byte is there.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    // An unsupported rate keeps the device's present one rather than failing the open, as
    // the rest of the line settings still apply.
    speed_t speed;
    if (SpeedFor(baud, speed)) {
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
    }
    tcsetattr(fd, TCSANOW, &tio);
}

void Trace(const SerialPort* port, TraceDirection direction, const uint8_t* bytes, int count) {
    if (port->trace && count > 0) port->trace(direction, bytes, count);
}

}  // namespace

PortHandle OpenSerialPort(const std::string& name, int baud, PortStatus* status) {
    PortStatus ignored;
    PortStatus& result = status ? *status : ignored;
    result = {};
    std::string realPath;
    result = CheckSerialDevice(name, realPath);
    if (result.problem != PortProblem::kNone) return nullptr;

    // The lock files of other serial programs are honoured before the device is even opened.
    auto port = std::make_unique<SerialPort>();
    LockHolder holder;
    if (!port->lock.Acquire(realPath, holder)) {
        result = HeldByStatus(holder);
        return nullptr;
    }
    // Non-blocking open: a port whose carrier is down must not hang the open.
    port->fd = open(realPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (port->fd < 0) {
        result = OpenErrorStatus(realPath, errno);
        return nullptr;
    }
    const auto fail = [&](PortStatus why) {
        close(port->fd);
        result = std::move(why);
        return nullptr;
    };
    // Only a terminal device is a serial port.
    if (tcgetattr(port->fd, &port->original) != 0) {
        return fail({PortProblem::kNotTerminal, "not a serial port (not a terminal device)"});
    }
    // A second opener fails at once: the lock is taken without waiting, and it also holds
    // against a privileged process, which the terminal's exclusive mode alone does not stop.
    if (flock(port->fd, LOCK_EX | LOCK_NB) != 0) {
        return fail(errno == EWOULDBLOCK
                        ? HeldByStatus("another program (it holds the port's lock)")
                        : OpenErrorStatus(realPath, errno));
    }
    // A privileged process gets past another program's exclusive mode; it must not use the
    // port either.
    int exclusive = 0;
    if (ioctl(port->fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
        return fail(HeldByStatus(kExclusiveHolder));
    }
    if (ioctl(port->fd, TIOCEXCL) != 0) return fail(OpenErrorStatus(realPath, errno));
    ApplyLineSettings(port->fd, baud);
    // DTR and RTS held off while the port is open; pseudo-terminals refuse this, harmlessly.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(port->fd, TIOCMBIC, &lines);
    return port.release();
}

void CloseSerialPort(PortHandle port) {
    if (!port) return;
    // A terminal that was something else before (a link gone stale onto a new session's
    // pseudo-terminal, say) gets its own settings back rather than staying raw.
    tcsetattr(port->fd, TCSANOW, &port->original);
    ioctl(port->fd, TIOCNXCL);
    close(port->fd);  // also releases the lock
    delete port;      // and the lock file
}

void PurgePort(PortHandle port) {
    if (!port) return;
    int pending = 0;
    if (ioctl(port->fd, FIONREAD, &pending) == 0 && pending > 0)
        port->bytesSeen += static_cast<uint64_t>(pending);
    tcflush(port->fd, TCIOFLUSH);
}

void FlushPort(PortHandle port) {
    if (!port) return;
    while (tcdrain(port->fd) != 0 && errno == EINTR) {
    }
}

int ReadBytes(PortHandle port, uint8_t* buffer, int n) {
    if (!port || !buffer || n <= 0) return 0;
    const Clock::time_point total = TotalDeadline(Clock::now(), n);
    int got = 0;
    Clock::time_point deadline = total;
    while (got < n) {
        const int waitMs = MsUntil(deadline);
        if (waitMs == 0) break;
        pollfd in{port->fd, POLLIN, 0};
        const int ready = poll(&in, 1, waitMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (ready == 0) continue;  // the loop ends on the deadline check
        if (in.revents & POLLIN) {
            const ssize_t count = read(port->fd, buffer + got, static_cast<size_t>(n - got));
            if (count > 0) {
                Trace(port, TraceDirection::In, buffer + got, static_cast<int>(count));
                got += static_cast<int>(count);
                port->bytesSeen += static_cast<uint64_t>(count);
                deadline =
                    std::min(total, Clock::now() + std::chrono::milliseconds(kIntervalTimeoutMs));
                continue;
            }
            if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            port->hungUp = true;  // end of file or EIO: the other end is gone
            break;
        }
        port->hungUp = true;  // POLLHUP, POLLERR or POLLNVAL without data: nothing will come
        break;
    }
    return got;
}

bool WriteBytes(PortHandle port, const uint8_t* buffer, int n) {
    if (!port || n < 0 || (n > 0 && !buffer)) return false;
    const Clock::time_point deadline = TotalDeadline(Clock::now(), n);
    int done = 0;
    while (done < n) {
        const ssize_t count = write(port->fd, buffer + done, static_cast<size_t>(n - done));
        if (count > 0) {
            Trace(port, TraceDirection::Out, buffer + done, static_cast<int>(count));
            done += static_cast<int>(count);
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && errno != EAGAIN) {
            if (errno == EIO || errno == ENXIO) port->hungUp = true;
            return false;
        }
        // The output queue is full: wait for room until the write time-out.
        const int waitMs = MsUntil(deadline);
        if (waitMs == 0) return false;
        pollfd out{port->fd, POLLOUT, 0};
        const int ready = poll(&out, 1, waitMs);
        if (ready < 0 && errno != EINTR) return false;
        if (ready > 0 && !(out.revents & POLLOUT)) {
            port->hungUp = true;
            return false;
        }
    }
    return true;
}

uint64_t PortBytesSeen(PortHandle port) {
    return port ? port->bytesSeen : 0;
}

bool PortHungUp(PortHandle port) {
    return port && port->hungUp;
}

void SetPortTrace(PortHandle port, PortTrace trace) {
    if (port) port->trace = std::move(trace);
}

}  // namespace kavri
