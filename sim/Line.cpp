// SPDX-License-Identifier: GPL-3.0-or-later
// The line to the host: reading the host's bytes, sending replies at the line rate, motion
// time, and hanging up.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "sim/EmulatorImpl.h"

namespace kavri::sim {

namespace {

using namespace std::chrono_literals;

// Arguments follow their keyword at once; a stream that stalls this long inside a command's
// arguments is abandoned, so a lost byte cannot swallow the next command for ever.
constexpr auto kArgumentTimeout = 500ms;
// How often to look again for a client once the master has seen a hang-up (without the
// client watch, whenever nobody has the slave open).
constexpr auto kClosedLineRecheck = 50ms;
// Time between the last byte sent and the hang-up of a hang-up fault.
constexpr auto kHangUpGrace = 300ms;

}  // namespace

bool Emulator::Impl::WaitUntil(Clock::time_point deadline) {
    while (!stopping) {
        auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) return true;
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        pollfd fd{wakeRead, POLLIN, 0};
        ::ppoll(&fd, 1, &ts, nullptr);
    }
    return false;
}

Emulator::Impl::ReadResult Emulator::Impl::NextByte(std::uint8_t* byte,
                                                    std::optional<Clock::time_point> deadline) {
    while (true) {
        if (!input.empty()) {
            *byte = input.front();
            input.pop_front();
            return ReadResult::kByte;
        }
        if (stopping || master < 0) return ReadResult::kStop;
        Clock::time_point now = Clock::now();
        if (deadline && now >= *deadline) return ReadResult::kTimeout;

        // The wake-up pipe, the clients' comings and goings, and the master.
        pollfd fds[3] = {{wakeRead, POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
        std::optional<Clock::duration> wait;
        if (deadline) wait = *deadline - now;
        fds[1].fd = clients.EventDescriptor();  // -1 without the client watch
        if (!slaveClosed) {
            fds[2].fd = master;
        } else if (!wait || *wait > kClosedLineRecheck) {
            wait = kClosedLineRecheck;
        }
        timespec ts{};
        if (wait) {
            auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*wait).count();
            ts = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        }
        int rc = ::ppoll(fds, 3, wait ? &ts : nullptr, nullptr);
        if (rc < 0 && errno != EINTR) return ReadResult::kStop;
        if (stopping) return ReadResult::kStop;
        if (rc <= 0) {
            if (slaveClosed) slaveClosed = false;  // look again
            continue;
        }
        if (fds[1].revents & POLLIN) {
            // Opens and closes first: a client's open always comes before its first byte.
            clients.TakeEvents([this](const std::string& line) { Log(line); });
            slaveClosed = false;
            continue;
        }
        if (fds[2].revents & POLLIN) {
            std::uint8_t buffer[256];
            ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) {
                std::vector<std::uint8_t> chunk(buffer, buffer + n);
                Trace("RX", chunk);
                input.insert(input.end(), chunk.begin(), chunk.end());
                std::lock_guard lock(mu);
                bytesReceived += static_cast<std::uint64_t>(n);
            } else if (n < 0 && errno == EIO) {
                slaveClosed = true;
            }
        } else if (fds[2].revents & (POLLHUP | POLLERR)) {
            // Nobody has the slave open (or it was hung up): look again shortly.
            slaveClosed = true;
        }
    }
}

bool Emulator::Impl::ReadArguments(std::size_t count, std::vector<std::uint8_t>* out) {
    while (out->size() < count) {
        std::uint8_t b = 0;
        if (NextByte(&b, Clock::now() + kArgumentTimeout) != ReadResult::kByte) return false;
        out->push_back(b);
    }
    return true;
}

void Emulator::Impl::WriteRaw(const std::uint8_t* data, std::size_t size) {
    // Nobody listening: the bytes are lost, as on a real line, rather than left in the slave's
    // queue for the next client.
    if (!clients.Connected()) return;
    std::size_t done = 0;
    while (done < size && master >= 0 && !stopping) {
        ssize_t n = ::write(master, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            // The host is not reading; wait for room, but never past a stop request.
            pollfd fds[2] = {{wakeRead, POLLIN, 0}, {master, POLLOUT, 0}};
            ::poll(fds, 2, 200);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return;  // nobody listening: the bytes are lost, as on a real line
        }
    }
}

bool Emulator::Impl::Send(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return true;
    if (options.fast) {
        WriteRaw(bytes.data(), bytes.size());
    } else {
        pacer.Begin(Clock::now());
        std::size_t done = 0;
        while (done < bytes.size()) {
            if (!WaitUntil(pacer.Due())) return false;
            // At least the byte waited for; more when the wake-up came late.
            const std::size_t due =
                std::max<std::size_t>(1, pacer.DueBy(Clock::now(), bytes.size() - done));
            WriteRaw(bytes.data() + done, due);
            pacer.Sent(due);
            done += due;
        }
    }
    Trace("TX", bytes);
    return !stopping;
}

bool Emulator::Impl::Delay(Clock::duration d) {
    if (options.fast || d <= Clock::duration::zero()) return !stopping;
    return WaitUntil(Clock::now() + d);
}

void Emulator::Impl::HangUp() {
    // Closing the master discards whatever the host has not read yet; the bytes already
    // sent were on the wire, so give the host a moment to take them first.
    WaitUntil(Clock::now() + kHangUpGrace);
    Trace("HUP", {});
    {
        std::lock_guard lock(mu);
        hungUp = true;
    }
    ::close(master);
    master = -1;
    clients.Stop();
    if (options.onHangUp) options.onHangUp();
}

}  // namespace kavri::sim
