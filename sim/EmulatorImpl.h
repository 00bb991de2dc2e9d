// SPDX-License-Identifier: GPL-3.0-or-later
// The emulator's inner state and the serving thread's work, shared by its source files:
// Emulator.cpp (the public interface and the serving loop), Line.cpp (reading, line-rate
// sending, motion time), Commands.cpp (the keyword handlers) and ReplyFaults.cpp (faults
// injected into replies). Not part of the library's interface.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/ClientWatch.h"
#include "sim/Emulator.h"
#include "sim/Keywords.h"
#include "sim/LinePacer.h"

namespace kavri::sim {

using Clock = std::chrono::steady_clock;

// What a command sends back: bytes, each group after a delay (motion time), and the state
// change that takes effect once the motion has ended.
struct Reply {
    struct Segment {
        Clock::duration delay{};
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Segment> segments;
    std::function<void(ControllerState&)> commit;

    void Add(std::vector<std::uint8_t> bytes, Clock::duration delay = {}) {
        segments.push_back({delay, std::move(bytes)});
    }
};

// Which reply faults hit one command.
struct Shaping {
    bool drop = false;
    bool cut = false;
    std::optional<std::uint8_t> garbage;
    int pauseMs = 0;
    bool hangUp = false;
};

struct Emulator::Impl {
    EmulatorOptions options;

    // Shared with the API; guarded by mu.
    mutable std::mutex mu;
    mutable std::condition_variable handledCv;
    ControllerState state;
    ControllerState lastSaved;
    std::array<std::optional<int>, kMaxThermometers> pinned{};
    std::vector<Fault> faults;
    std::uint64_t bytesReceived = 0;
    std::uint64_t handled = 0;
    // The most recent keywords, capped so that a night of polling cannot grow without end,
    // and a count per keyword since the start.
    std::deque<std::string> recentKeywords;
    std::map<std::string, int, std::less<>> keywordCounts;
    bool hungUp = false;
    std::string slavePath;

    // Owned by the serving thread while it runs.
    int master = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    ClientWatch clients;
    bool slaveClosed = false;  // the master saw a hang-up: nobody has the slave open
    std::deque<std::uint8_t> input;
    KeywordMatcher matcher;
    LinePacer pacer;
    Clock::time_point startTime = Clock::now();

    std::thread thread;
    std::atomic<bool> stopping{false};
    bool running = false;

    explicit Impl(EmulatorOptions o) : options(std::move(o)) { faults = options.faults; }

    // Emulator.cpp: logging and the serving loop.
    void Log(const std::string& line);
    void Trace(const char* direction, const std::vector<std::uint8_t>& bytes);
    void Serve();
    void Dispatch(const std::string& keyword);
    void Commit(Reply& reply);  // applies the reply's state change once
    void Finish();
    void SaveIfChanged();

    // Line.cpp: the line to the host.
    enum class ReadResult { kByte, kTimeout, kStop };
    // Waits until `deadline` or a stop request; false on the stop request.
    bool WaitUntil(Clock::time_point deadline);
    ReadResult NextByte(std::uint8_t* byte, std::optional<Clock::time_point> deadline);
    // Reads `count` argument bytes, each within the argument time-out of the one before.
    bool ReadArguments(std::size_t count, std::vector<std::uint8_t>* out);
    void WriteRaw(const std::uint8_t* data, std::size_t size);
    // Sends bytes at the line rate (or at once when fast); false when stopped meanwhile.
    bool Send(const std::vector<std::uint8_t>& bytes);
    // Motion time (none when fast); false when stopped meanwhile.
    bool Delay(Clock::duration d);
    void HangUp();

    // Commands.cpp: the keyword handlers. Handle and its helpers run with mu held.
    std::size_t ArgumentCount(const std::string& keyword);
    // True when the mechanism that answers `keyword` is left out of this controller.
    bool Absent(std::string_view keyword) const;
    Reply Handle(const std::string& keyword, const std::vector<std::uint8_t>& args);
    void HandleGoto(int target, Reply* r);
    void HandleFocusMove(int target, Reply* r);
    void HandleWriteEE(const std::vector<std::uint8_t>& a, Reply* r);
    Clock::duration SlotTime() const;
    int FilterCount() const;
    int ThermometerCount() const;
    int TemperatureLocked(int index) const;

    // ReplyFaults.cpp: faults that shape the replies.
    std::optional<Fault> TakeFault(FaultKind kind, std::string_view keyword);
    bool TakeFaultLocked(FaultKind kind, std::string_view keyword);  // mu already held
    Shaping ShapingFor(std::string_view keyword);
    // Sends a reply as shaped by the faults; false when the line went away meanwhile.
    bool Emit(Reply& reply, const Shaping& shaping);
};

}  // namespace kavri::sim
