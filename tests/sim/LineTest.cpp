// SPDX-License-Identifier: GPL-3.0-or-later
// The line beyond the replies' content: injected faults (from their command-line form), motion
// time and line-rate pacing. Time bounds: the lower ones are what the emulator promises, the
// upper ones only catch a runaway on a loaded machine.
#include <gtest/gtest.h>

#include "HostLine.h"
#include "sim/LinePacer.h"

namespace kavri::sim::test {
namespace {

using Clock = std::chrono::steady_clock;

Fault Parsed(const std::string& text) {
    std::string error;
    auto fault = ParseFault(text, &error);
    EXPECT_TRUE(fault.has_value()) << text << ": " << error;
    return fault.value_or(Fault{});
}

// What the faults below do not show by their effect: which ones last for ever by default,
// the default garbage byte, and the texts refused.
TEST(SimFaultText, DefaultsAndMalformedText) {
    for (const char* text : {"silent", "pause,ms=300", "drop,times=always"}) {
        EXPECT_EQ(Parsed(text).times, kUnlimited) << text;
    }
    EXPECT_EQ(Parsed("garbage").garbage, 0xA5);
    for (const char* bad :
         {"", "explode", "drop,cmd=FWnothing", "drop,times=0", "drop,times=x", "pause",
          "pause,ms=-1", "garbage,byte=256", "drop,ms=5", "goto-fail,cmd=FWfocus", "drop,cmd"}) {
        std::string error;
        EXPECT_FALSE(ParseFault(bad, &error).has_value()) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(SimFaults, EveryKindShapesTheRepliesItHitsAndNoMore) {
    struct Case {
        const char* fault;
        std::vector<Step> steps;
    };
    // clang-format off
    const Case cases[] = {
        // Swallowed without effect, then answered again.
        {"silent,times=2", {{"FWgoFocus" + Le16(16), ""}, {"FWFILTER", ""}, {"FWfocus", Le16(0)}}},
        // The reply is lost but not the effect; other keywords and the next time are answered.
        {"drop,cmd=FWsetFocus",
         {{"FWsetFocus" + Le16(5), ""}, {"FWfocus", Le16(5)}, {"FWsetFocus" + Le16(6), "!"}}},
        {"short,cmd=FWreadEE,times=2", {{ReadEE(0, 3), "\0\x05"s}, {"FWCOUNT", "5"},
                                        {ReadEE(0, 3), "\0\x05"s}, {ReadEE(0, 3), "\0\x05\xc8"s}}},
        {"garbage,byte=0x33", {{"FWCOUNT", "\x33" "5"}, {"FWCOUNT", "5"}}},
        // The wheel is lost: it homes first on the next change, passing slot 1.
        {"goto-fail", {{"FWGOTO2", "/"}, {"FWFILTER", "/"}, {"FWGOTO2", "12"}}},
        {"writeee-nak", {{WriteEE(1, "\x07"), "?"}, {ReadEE(1, 1), "\x05"},
                         {WriteEE(1, "\x07"), "!"}, {ReadEE(1, 1), "\x07"}}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        SimRig rig;
        rig.emulator.AddFault(Parsed(c.fault));
        RunSteps(rig.line, c.steps);
    }
    // Faults given with the options apply from the start; cleared ones are gone.
    SimRig rig(Fast([](EmulatorOptions& o) { o.faults = {Parsed("drop,cmd=FWFILTER")}; }));
    RunSteps(rig.line, {{"FWFILTER", ""}, {"FWFILTER", "0"}});
    rig.emulator.AddFault(Parsed("silent"));
    rig.emulator.ClearFaults();
    RunSteps(rig.line, {{"FWFILTER", "0"}});
}

TEST(SimFaults, PauseBetweenReplyBytesAndHangUpHalfwayThroughTheReply) {
    SimRig rig;
    rig.emulator.AddFault(Parsed("pause,ms=150,cmd=FWfocus,times=1"));
    rig.emulator.AddFault(Parsed("hangup,cmd=FWreadEE"));
    rig.line.Send("FWfocus");
    EXPECT_EQ(rig.line.Read(1), "\0"s);
    const auto start = Clock::now();
    EXPECT_EQ(rig.line.Read(1), "\0"s);
    const auto gap = Clock::now() - start;
    EXPECT_GE(gap, 100ms);  // a reader with a 100 ms inter-byte time-out gives up here
    EXPECT_LT(gap, 2000ms);

    EXPECT_EQ(rig.line.Ask("FWCOUNT", 1), "5");
    rig.line.Send(ReadEE(0, 144));
    EXPECT_EQ(rig.line.Read(144, 500ms).size(), 72u);
    EXPECT_TRUE(rig.line.HungUp());
    EXPECT_TRUE(rig.emulator.HungUp());
}

TEST(SimTiming, RepliesKeepTheLineRateAndMotionTakesItsTime) {
    Image image = DefaultImage();
    WriteU16(image, offset::kWheelSpeed, 1200);  // 120 steps per slot: 0.1 s per slot
    SimRig rig(EmulatorOptions{});
    rig.emulator.SetImage(image);
    struct Case {
        std::string send;
        std::string reply;
        std::chrono::milliseconds least;
    };
    const Case cases[] = {
        {ReadEE(0, 144), std::string(image.begin(), image.end()), 148ms},  // 1.04 ms a byte
        {"FWGOTO3", "43", 195ms},              // two slots backwards through 4
        {"FWgoFocus" + Le16(50), "!", 495ms},  // 50 steps outward at 100 steps/s
        {"FWgoFocus" + Le16(40), "!", 295ms},  // inward: 10 steps and the backlash of 20
        {"FWHOME", "!", 495ms},                // a full turn of 5 slots
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.send);
        const auto start = Clock::now();
        EXPECT_EQ(rig.line.Ask(c.send, c.reply.size(), 3000ms), c.reply);
        const auto elapsed = Clock::now() - start;
        EXPECT_GE(elapsed, c.least);
        EXPECT_LT(elapsed, c.least + 2000ms);
    }
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

}  // namespace
}  // namespace kavri::sim::test
