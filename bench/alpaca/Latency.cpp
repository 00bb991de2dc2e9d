// SPDX-License-Identifier: GPL-3.0-or-later
// Latency of the Alpaca server as a client sees it, on one kept-alive loopback connection:
// GET position idle and while a move keeps the serial line busy, and a filter change from the
// PUT to the GET that reads the new slot (polled every millisecond). Connects both devices and
// leaves them connected.
//
//   bench_alpaca_latency PORT [SAMPLES] [CHANGES]    (defaults: 2000, 6)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "alpaca/HttpClient.h"

namespace {

using Clock = std::chrono::steady_clock;
using kavri::test::HttpClient;

double Micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

void Report(const char* what, std::vector<double> samples) {
    if (samples.empty()) return std::printf("%s: no samples\n", what), void();
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) { return samples[static_cast<size_t>(q * (samples.size() - 1))]; };
    std::printf("%-40s p50 %7.0f us   p99 %7.0f us   max %7.0f us   (%zu GETs)\n", what, at(0.5),
                at(0.99), samples.back(), samples.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_alpaca_latency PORT [SAMPLES] [CHANGES]\n");
        return 2;
    }
    const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
    const int samples = argc > 2 ? std::atoi(argv[2]) : 2000;
    const int changes = argc > 3 ? std::atoi(argv[3]) : 6;
    HttpClient client(port);
    for (const char* device : {"focuser", "filterwheel"}) {
        const auto reply = client.SetMember(device, "connected", "Connected=True");
        if (reply.is_null() || reply["ErrorNumber"] != 0) {
            std::fprintf(stderr, "cannot connect the %s: %s\n", device, reply.dump().c_str());
            return 1;
        }
    }
    const auto timedGet = [&](std::vector<double>& into) {
        const auto start = Clock::now();
        const auto reply = client.Member("focuser", "position");
        into.push_back(Micros(Clock::now() - start));
        return reply;
    };

    std::vector<double> idle;
    for (int i = 0; i < samples; ++i) timedGet(idle);
    Report("GET position, idle", idle);

    // A move long enough for the samples: the line stays busy until it ends.
    const int from = client.Member("focuser", "position")["Value"];
    const int to = from < 1000 ? from + 1000 : from - 1000;
    client.SetMember("focuser", "move", "Position=" + std::to_string(to));
    std::vector<double> moving;
    while (static_cast<int>(moving.size()) < samples) {
        timedGet(moving);
        if (moving.size() % 100 == 0 && client.Member("focuser", "ismoving")["Value"] != true) break;
    }
    Report("GET position, during a move", moving);
    while (client.Member("focuser", "ismoving")["Value"] == true) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    // Neighbouring slots, one slot of travel each, as the other filter-change benchmarks do.
    std::vector<double> changeMs;
    for (int i = 0; i < changes; ++i) {
        const int slot = i % 2 + 1;
        const auto start = Clock::now();
        client.SetMember("filterwheel", "position", "Position=" + std::to_string(slot));
        while (client.Member("filterwheel", "position")["Value"] != slot) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        changeMs.push_back(Micros(Clock::now() - start) / 1000.0);
    }
    std::sort(changeMs.begin(), changeMs.end());
    std::printf("filter change, one slot, PUT to the new slot read: median %.0f ms (", changeMs[changeMs.size() / 2]);
    for (double ms : changeMs) std::printf(" %.0f", ms);
    std::printf(" )\n");
    return 0;
}
