// SPDX-License-Identifier: GPL-3.0-or-later
// How long SendCommand takes to return once the last reply byte has reached the
// pseudo-terminal: the overhead the port adds to every exchange on top of the line itself.
//
// A peer thread on the master side waits for "FWCOUNT", notes the time and answers with one
// byte; the main thread notes when SendCommand returned. Prints median, 99th percentile and
// maximum over the exchanges (default 1000, or the first argument).
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "transport/SerialPort.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Reads until `count` bytes arrived or the master is closed; false on end of input.
bool ReadFull(int fd, char* buffer, size_t count) {
    size_t got = 0;
    while (got < count) {
        ssize_t n = read(fd, buffer + got, count - got);
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int exchanges = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int warmup = 50;

    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    termios raw{};
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);

    kavri::PortHandle port = kavri::OpenSerialPort(name, 9600);
    if (!port) {
        std::fprintf(stderr, "cannot open %s\n", name);
        return 1;
    }

    std::atomic<int64_t> replySentNs{0};
    std::thread peer([&] {
        char keyword[7];
        const char reply = '5';
        for (int i = 0; i < warmup + exchanges; ++i) {
            if (!ReadFull(master, keyword, sizeof keyword)) return;
            // Taken just before the write, so the figure never understates the delay.
            replySentNs.store(NowNs());
            if (write(master, &reply, 1) != 1) return;
        }
    });

    std::vector<double> delaysUs;
    delaysUs.reserve(exchanges);
    int failures = 0;
    for (int i = 0; i < warmup + exchanges; ++i) {
        uint8_t reply = 0;
        const int count = kavri::SendCommand(port, "FWCOUNT", &reply, 1);
        const int64_t returnedNs = NowNs();
        if (count != 1 || reply != '5') {
            ++failures;
            continue;
        }
        if (i >= warmup) delaysUs.push_back((returnedNs - replySentNs.load()) / 1000.0);
    }
    peer.join();
    kavri::CloseSerialPort(port);
    close(master);
    close(slave);

    if (delaysUs.empty()) {
        std::fprintf(stderr, "no exchange succeeded\n");
        return 1;
    }
    std::sort(delaysUs.begin(), delaysUs.end());
    auto percentile = [&](double p) {
        size_t index = static_cast<size_t>(p * static_cast<double>(delaysUs.size() - 1) + 0.5);
        return delaysUs[std::min(index, delaysUs.size() - 1)];
    };
    std::printf("exchanges: %zu (failed: %d)\n", delaysUs.size(), failures);
    std::printf("last reply byte to SendCommand return: median %.1f us, p99 %.1f us, max %.1f us\n",
                percentile(0.5), percentile(0.99), delaysUs.back());
    return failures == 0 ? 0 : 1;
}
