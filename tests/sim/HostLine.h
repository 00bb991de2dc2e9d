// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "sim/Emulator.h"

// The host end of the emulator's line for tests: raw bytes in and out of the slave device,
// with poll() deadlines. Deliberately independent of the programs' own serial code.
namespace kavri::sim::test {

using namespace std::chrono_literals;
using namespace std::string_literals;

// A 16-bit value as it travels on the line, low byte first.
inline std::string Le16(int value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}
// The configuration-image commands with their offset and length bytes.
inline std::string ReadEE(int from, int count) {
    return "FWreadEE"s + static_cast<char>(from) + static_cast<char>(count);
}
inline std::string WriteEE(int from, const std::string& data) {
    return "FWwriteEE"s + static_cast<char>(from) + static_cast<char>(data.size()) + data;
}

class HostLine {
public:
    explicit HostLine(const std::string& path);
    ~HostLine() { Close(); }
    HostLine(const HostLine&) = delete;
    HostLine& operator=(const HostLine&) = delete;

    void Close();
    void Send(const std::string& bytes);
    // Reads until `count` bytes arrived or `limit` passed.
    std::string Read(std::size_t count, std::chrono::milliseconds limit = 2000ms);
    // Everything that arrives within `window`.
    std::string ReadFor(std::chrono::milliseconds window) { return Read(SIZE_MAX, window); }
    // Sends and reads a reply of known length.
    std::string Ask(const std::string& command, std::size_t replyLength,
                    std::chrono::milliseconds limit = 2000ms) {
        Send(command);
        return Read(replyLength, limit);
    }
    // True when the emulator hung up the line (within 2 s).
    bool HungUp();

private:
    int fd_ = -1;
};

// One exchange of a script: what the host sends and the exact reply (empty: silence).
struct Step {
    std::string send;
    std::string reply;
};
// Runs the steps in order, every reply byte for byte.
void RunSteps(HostLine& line, const std::vector<Step>& steps);

// Fast-mode options (no pacing, no motion time), changed by `change`.
EmulatorOptions Fast(const std::function<void(EmulatorOptions&)>& change = {});

// An emulator started on its own pseudo-terminal (a failed start fails the test), and the
// host's end of its line.
struct SimRig {
    explicit SimRig(EmulatorOptions options = Fast());
    Emulator emulator;
    HostLine line;
};

}  // namespace kavri::sim::test
