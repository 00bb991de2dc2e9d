// Motion time and line-rate pacing. Few and tolerant: lower bounds are what the emulator
// promises, upper bounds only catch a runaway on a loaded machine.
#include <gtest/gtest.h>

#include <chrono>

#include "HostLine.h"
#include "sim/Emulator.h"
#include "sim/LinePacer.h"

namespace kavri::sim::test {
namespace {

using Clock = std::chrono::steady_clock;

// Reads single bytes until `last` arrives; returns everything read.
Bytes ReadUntil(HostLine& line, std::uint8_t last, std::chrono::milliseconds limit) {
    Bytes all;
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        Bytes b = line.Read(
            1, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
        if (b.empty()) break;
        all.push_back(b[0]);
        if (b[0] == last) break;
    }
    return all;
}

TEST(SimTiming, FilterChangeTakesTheShortWayAtAboutAHalfSecondPerSlot) {
    Emulator emulator;
    ASSERT_TRUE(emulator.Start());
    HostLine line(emulator.SlavePath());
    // 0 -> 3 of 5: two slots backwards through 4 (three forwards would be longer).
    const auto start = Clock::now();
    line.Send("FWGOTO3");
    Bytes reply = ReadUntil(line, '3', 6000ms);
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(reply, B("43"));
    EXPECT_GE(elapsed, 1150ms);
    EXPECT_LT(elapsed, 4000ms);
    EXPECT_EQ(emulator.CurrentFilter(), 3);
}

TEST(SimTiming, FocuserMovesAtItsSpeedAndTheWheelHomesInAFullTurn) {
    Emulator emulator;
    Image image = DefaultImage();
    image[offset::kWheelSpeed] = 0xB0;  // 1200 steps/s: 0.1 s per slot of 120 steps
    image[offset::kWheelSpeed + 1] = 0x04;
    emulator.SetImage(image);
    ASSERT_TRUE(emulator.Start());
    HostLine line(emulator.SlavePath());

    // 50 steps outward at 100 steps/s; no backlash, the last move was outward too.
    auto start = Clock::now();
    EXPECT_EQ(line.Ask(std::string("FWgoFocus\x32") + '\0', 1, 3000ms), B("!"));
    auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 480ms);
    EXPECT_LT(elapsed, 2500ms);

    // A full turn of 5 slots, then the acknowledgement alone.
    start = Clock::now();
    EXPECT_EQ(line.Ask("FWHOME", 1, 3000ms), B("!"));
    elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 480ms);
    EXPECT_LT(elapsed, 2500ms);
}

TEST(SimTiming, RepliesLeaveAtTheLineRate) {
    Emulator emulator;
    ASSERT_TRUE(emulator.Start());
    HostLine line(emulator.SlavePath());
    const auto start = Clock::now();
    Bytes image = line.Ask(std::string("FWreadEE") + '\0' + '\x90', 144, 3000ms);
    const auto elapsed = Clock::now() - start;
    ASSERT_EQ(image.size(), 144u);
    EXPECT_GE(elapsed, 144 * 1040us - 2ms);  // 10 bits per byte at 9600 baud
    EXPECT_LT(elapsed, 2000ms);
}

// The pacing itself on a made-up clock: every wake-up comes late, yet the reply keeps to the
// line time instead of growing by each delay.
TEST(SimTiming, PacingKeepsToTheLineTimeDespiteLateWakeUps) {
    constexpr std::size_t kBytes = 144;
    const auto t0 = Clock::time_point{} + 1h;
    EXPECT_EQ(LinePacer::ByteTime(kBytes), 150ms);
    for (auto lateness : {Clock::duration(100us), Clock::duration(2500us)}) {
        SCOPED_TRACE(lateness.count());
        LinePacer pacer;
        pacer.Begin(t0);
        for (std::size_t sent = 0; sent < kBytes;) {
            const auto now = pacer.Due() + lateness;
            const std::size_t due = pacer.DueBy(now, kBytes - sent);
            ASSERT_GE(due, 1u);
            ASSERT_GE(now, t0 + LinePacer::ByteTime(sent + due - 1));  // none leaves early
            pacer.Sent(due);
            sent += due;
            if (sent == kBytes) {
                EXPECT_LE(now, t0 + LinePacer::ByteTime(kBytes - 1) + lateness);
            }
        }
    }
    // A burst that starts while the line is busy waits its turn; after idling, it starts now.
    LinePacer pacer;
    pacer.Begin(t0);
    pacer.Sent(10);
    pacer.Begin(t0 + 1ms);
    EXPECT_EQ(pacer.Due(), t0 + LinePacer::ByteTime(10));
    pacer.Begin(t0 + 1s);
    EXPECT_EQ(pacer.Due(), t0 + 1s);
}

TEST(SimTiming, FilterChangeInterleavesOneFocusFrameBeforeTheTarget) {
    EmulatorOptions options;
    options.fast = true;
    options.focusFrame = true;
    Emulator emulator(options);
    ASSERT_TRUE(emulator.Start());
    HostLine line(emulator.SlavePath());
    // 0 -> 2 forwards through 1; filter 2 ("G") has its focus at 10.
    Bytes expected = B("1FWmoveFocus");
    expected.insert(expected.end(), {10, 0, '2'});
    EXPECT_EQ(line.Ask("FWGOTO2", expected.size()), expected);
    EXPECT_TRUE(line.ReadFor(100ms).empty());
    EXPECT_EQ(emulator.FocuserPosition(), 10);
    EXPECT_EQ(emulator.CurrentFilter(), 2);
}

}  // namespace
}  // namespace kavri::sim::test
