#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// The host end of the emulator's line for tests: raw bytes in and out of the slave device,
// with poll() deadlines. Deliberately independent of the programs' own serial code.
namespace kavri::sim::test {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

Bytes B(const std::string& text);

class HostLine {
public:
    explicit HostLine(const std::string& path);
    ~HostLine();
    HostLine(const HostLine&) = delete;
    HostLine& operator=(const HostLine&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    void Send(const Bytes& bytes);
    void Send(const std::string& text) { Send(B(text)); }
    // Reads until `count` bytes arrived or `limit` passed.
    Bytes Read(std::size_t count, std::chrono::milliseconds limit = 2000ms);
    // Everything that arrives within `window`.
    Bytes ReadFor(std::chrono::milliseconds window);
    // Sends and reads a reply of known length.
    Bytes Ask(const std::string& command, std::size_t replyLength,
              std::chrono::milliseconds limit = 2000ms);
    // True when the emulator hung up the line.
    bool HungUp(std::chrono::milliseconds limit = 2000ms);

private:
    int fd_ = -1;
};

}  // namespace kavri::sim::test
