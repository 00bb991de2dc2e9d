// SPDX-License-Identifier: GPL-3.0-or-later
// How long reading the whole 144-byte configuration image takes against the emulator at the
// 9600-baud line rate: "FWreadEE" with offset 0 and length 144, exchanged with the core's
// SendCommandWithArgs as the device's FWreadEE does. On a real line the reply alone needs
// 144 bytes × 10 bits / 9600 baud = 150 ms; the figure shows how closely the emulator keeps
// to that. Prints the median, minimum and maximum of N reads (default 20, or the first
// argument).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/Emulator.h"
#include "transport/SerialPort.h"

int main(int argc, char** argv) {
    using Clock = std::chrono::steady_clock;
    const int reads = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    kavri::sim::Emulator emulator;  // paced at the line rate
    std::string error;
    if (!emulator.Start(&error)) {
        std::fprintf(stderr, "emulator: %s\n", error.c_str());
        return 1;
    }
    kavri::PortHandle port = kavri::OpenSerialPort(emulator.SlavePath(), 9600);
    if (!port) {
        std::fprintf(stderr, "cannot open %s\n", emulator.SlavePath().c_str());
        return 1;
    }

    const std::uint8_t args[2] = {0, 144};
    std::uint8_t image[144];
    std::vector<double> ms;
    int failures = 0;
    for (int i = 0; i < reads; ++i) {
        kavri::PurgePort(port);
        const auto start = Clock::now();
        const int got = kavri::SendCommandWithArgs(port, "FWreadEE", args, 2, image, 144);
        const std::chrono::duration<double, std::milli> took = Clock::now() - start;
        if (got != 144) {
            ++failures;
            continue;
        }
        ms.push_back(took.count());
    }
    kavri::CloseSerialPort(port);
    emulator.Stop();

    if (ms.empty()) {
        std::fprintf(stderr, "no read succeeded\n");
        return 1;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("144-byte image reads: %zu (failed: %d)\n", ms.size(), failures);
    std::printf("median %.1f ms, min %.1f ms, max %.1f ms (line time 150.0 ms)\n",
                ms[ms.size() / 2], ms.front(), ms.back());
    return failures == 0 ? 0 : 1;
}
