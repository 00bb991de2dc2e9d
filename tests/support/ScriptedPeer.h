// A scripted controller on the master side of a real pseudo-terminal pair.
//
// The program under test opens SlavePath() like any serial port; the peer's own thread works
// through a script of steps in order: expect exact bytes from the program, send bytes, pause,
// hang up. Everything the program sends is recorded. Mismatches and time-outs become test
// failures with the expected and the received bytes spelled out.
//
//   ScriptedPeer peer;
//   PortHandle port = OpenSerialPort(peer.SlavePath(), 9600);
//   peer.Expect("FWCOUNT").Reply({'5'});
//   ... exchange ...
//   EXPECT_TRUE(peer.WaitIdle(2000));
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kavri::test {

using Bytes = std::vector<uint8_t>;

// Bytes as readable text: printable ASCII as is, everything else as \xNN.
std::string DescribeBytes(const uint8_t* bytes, size_t count);
std::string DescribeBytes(const Bytes& bytes);

class ScriptedPeer {
public:
    // Opens the pseudo-terminal pair (both sides raw) and starts the peer thread.
    ScriptedPeer();
    // Stops the thread, closes both sides and reports any failure not yet reported, including
    // expected bytes the program never sent.
    ~ScriptedPeer();

    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    // Path of the slave side, for OpenSerialPort.
    const std::string& SlavePath() const { return slavePath_; }

    // Script steps; each returns the peer so a whole exchange reads as one line.
    // Waits (up to the expect time-out) for exactly these bytes from the program.
    ScriptedPeer& Expect(std::string_view text);
    ScriptedPeer& Expect(const Bytes& bytes);
    ScriptedPeer& Expect(std::initializer_list<uint8_t> bytes) { return Expect(Bytes(bytes)); }
    // Sends the bytes at once.
    ScriptedPeer& Reply(std::string_view text);
    ScriptedPeer& Reply(const Bytes& bytes);
    ScriptedPeer& Reply(std::initializer_list<uint8_t> bytes) { return Reply(Bytes(bytes)); }
    // Stays silent for delayMs, then sends the bytes.
    ScriptedPeer& ReplyDelayed(const Bytes& bytes, int delayMs);
    // Sends the bytes one at a time with gapMs between them.
    ScriptedPeer& ReplyBytesSpaced(const Bytes& bytes, int gapMs);
    // Stays silent for ms; whatever the program sends meanwhile is recorded.
    ScriptedPeer& Pause(int ms);
    // Stays silent for ms and fails if any byte not yet matched is there at the end.
    ScriptedPeer& ExpectQuiet(int ms);
    // Closes the master side: the program's port sees a hang-up.
    ScriptedPeer& HangUp();

    // Time limit of each Expect step (default 5000 ms); applies to steps added afterwards.
    void SetExpectTimeout(int ms);

    // Waits until every scripted step has run. Fails when the script did not finish within
    // timeoutMs or when a step failed; the failures are then counted as reported.
    testing::AssertionResult WaitIdle(int timeoutMs);

    // Everything the program sent so far, in order.
    Bytes Received() const;
    std::string ReceivedText() const;
    // Bytes the program sent that no Expect step has matched (yet).
    Bytes Unmatched() const;
    // When the last reply byte was handed to the pseudo-terminal (taken just before the write).
    std::chrono::steady_clock::time_point LastReplyTime() const;

private:
    enum class StepKind { Expect, Send, Pause, ExpectQuiet, HangUp };
    struct Step {
        StepKind kind = StepKind::Pause;
        Bytes bytes;
        int ms = 0;
    };

    ScriptedPeer& Add(Step step);
    void Run();
    bool RunStep(const Step& step);
    // Waits for input (or a wake-up) until the deadline, recording what arrives; returns
    // false once the peer is stopping.
    bool PumpUntil(std::chrono::steady_clock::time_point deadline, bool returnOnInput);
    void ReadAvailable();
    bool SendAll(const Bytes& bytes);
    void Fail(std::string message);
    void Wake();

    std::string slavePath_;
    int master_ = -1;
    int slave_ = -1;  // held open so the master sees no hang-up before the program opens
    int wakeRead_ = -1;
    int wakeWrite_ = -1;

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::deque<Step> steps_;
    bool running_ = false;  // a step is being executed
    Step current_;          // the step being executed, for the report of an unfinished script
    bool stop_ = false;
    int expectTimeoutMs_ = 5000;
    Bytes received_;
    Bytes unmatched_;
    std::vector<std::string> failures_;
    size_t reportedFailures_ = 0;
    std::chrono::steady_clock::time_point lastReply_{};
    std::thread thread_;
};

}  // namespace kavri::test
