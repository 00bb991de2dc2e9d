// SPDX-License-Identifier: GPL-3.0-or-later
// A scripted controller on the master side of a real pseudo-terminal pair. The program under
// test opens SlavePath() like any serial port; the peer's thread works through the script in
// order (expect exact bytes, send, pause, hang up) and records everything the program sends.
// Mismatches and time-outs become test failures that spell out the bytes:
//   peer.Expect("FWCOUNT").Reply("5");  ... exchange ...  EXPECT_TRUE(peer.WaitIdle(2000));
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kavri::test {

using Bytes = std::vector<uint8_t>;

// How long an exchange takes: the milliseconds `work` takes.
template <typename Work>
long long MsTaken(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

class ScriptedPeer {
public:
    // Opens the pair (both sides raw) and starts the thread.
    ScriptedPeer();
    // Reports any failure not yet reported, expected bytes the program never sent included.
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    const std::string& SlavePath() const { return slavePath_; }

    // Waits (up to 5 s) for exactly these bytes from the program.
    ScriptedPeer& Expect(std::string_view text) { return Expect(Bytes(text.begin(), text.end())); }
    ScriptedPeer& Expect(const Bytes& bytes) { return Add(Kind::Expect, bytes, 5000); }
    // Sends the bytes at once; or after staying silent for delayMs.
    ScriptedPeer& Reply(std::string_view text) { return Reply(Bytes(text.begin(), text.end())); }
    ScriptedPeer& Reply(const Bytes& bytes) { return Add(Kind::Send, bytes, 0); }
    ScriptedPeer& ReplyDelayed(const Bytes& bytes, int delayMs) {
        return Pause(delayMs).Reply(bytes);
    }
    // Stays silent for ms; whatever the program sends meanwhile is recorded.
    ScriptedPeer& Pause(int ms) { return Add(Kind::Pause, {}, ms); }
    // Stays silent for ms and fails if any byte not matched by an Expect is there at the end.
    ScriptedPeer& ExpectQuiet(int ms) { return Add(Kind::Quiet, {}, ms); }
    // Closes the master side: the program's port sees a hang-up.
    ScriptedPeer& HangUp() { return Add(Kind::HangUp, {}, 0); }

    // Waits until every step has run; fails when the script did not finish within timeoutMs
    // or a step failed (those failures then count as reported).
    testing::AssertionResult WaitIdle(int timeoutMs);

    // Everything the program sent so far, in order.
    Bytes Received() const;

private:
    enum class Kind { Expect, Send, Pause, Quiet, HangUp };
    struct Step {
        Kind kind;
        Bytes bytes;
        int ms;
    };

    ScriptedPeer& Add(Kind kind, Bytes bytes, int ms);
    void Run();
    bool RunStep(const Step& step);
    // Records input until the deadline (or input, or a new step); false once stopping.
    bool Pump(std::chrono::steady_clock::time_point deadline, bool returnOnInput);
    void ReadAvailable();
    bool Fail(const std::string& message);
    std::string Unreported();

    std::string slavePath_;
    int master_ = -1;
    int slave_ = -1;  // held open so the master sees no hang-up before the program opens

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::deque<Step> steps_;
    bool running_ = false;  // a step is being executed
    bool stop_ = false;
    Bytes received_;
    Bytes unmatched_;  // received bytes no Expect step has matched yet
    std::vector<std::string> failures_;
    size_t reported_ = 0;
    std::thread thread_;
};

}  // namespace kavri::test
