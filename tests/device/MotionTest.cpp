// SPDX-License-Identifier: GPL-3.0-or-later
// Filter changes, the filter table write, focuser moves and the microstep table against a
// scripted controller, the time a move may take, and the base routines of a stepped wheel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/DeviceOnPeer.h"
#include "device/FocuserMoveLimit.h"
#include "device/StepperWheel.h"

namespace kavri::test {
namespace {

using WheelCommands = DeviceOnPeer;

TEST_F(WheelCommands, GotoTakesTheShortestWayForItsTimeLimit) {
    // Rows, filter before, target, focuser position (-1: lost, + dif × rows), time per slot
    // (kept within 100..60000 ms, and said when it is not): the line announcing the change.
    const struct {
        int rows, current, target, focuser, slotMs;
        const char* line;
    } cases[] = {{5, 4, 0, 0, 1000, "Goto(4->0) dif=1 TimeOut=3000\r\n"},
                 {5, 1, 3, 0, 1000, "Goto(1->3) dif=2 TimeOut=4000\r\n"},
                 {6, 0, 3, 0, 1000, "Goto(0->3) dif=3 TimeOut=5000\r\n"},
                 {5, -1, 2, 0, 1000, "Goto(-1->2) dif=2 TimeOut=4000\r\n"},
                 {5, 1, 3, -1, 1000, "Goto(1->3) dif=2 TimeOut=4010\r\n"},
                 {3, 0, 5, 0, 1000, "Goto(0->5) dif=1 TimeOut=3000\r\n"},
                 {5, 0, 1, 0, INT32_MAX, "Goto(0->1) dif=1 TimeOut=62000\r\n"},
                 {5, 0, 1, 0, -5000, "Goto(0->1) dif=1 TimeOut=2100\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        sinkLines.clear();
        GiveFilters(c.rows);
        device->currentFilter = c.current;
        device->focuserPosition = c.focuser;
        device->ChangeFilterTimeoutMs = c.slotMs;
        const std::string digit(1, static_cast<char>('0' + c.target));
        peer.Expect("FWGOTO" + digit).Reply(digit);
        EXPECT_TRUE(device->SelectFilter(c.target));
        EXPECT_EQ(device->currentFilter, c.target);
        EXPECT_EQ(LinesWith("Goto(")[0], c.line);
        EXPECT_EQ(LinesWith("is outside 100..60000").size(), c.slotMs == 1000 ? 0u : 1u);
        EXPECT_TRUE(peer.WaitIdle(2000));
    }
}

TEST_F(WheelCommands, GotoSkipsProgressAndFailsOnSlashTimeOutOrHangUpAndNeedsATable) {
    // Without a table nothing is sent, and a homing fails at once.
    peer.ExpectQuiet(100);
    EXPECT_FALSE(device->SelectFilter(0));
    EXPECT_TRUE(peer.WaitIdle(2000));
    peer.Expect("FWHOME").ExpectQuiet(100);
    EXPECT_LT(MsTaken([&] { EXPECT_FALSE(device->Home(0)); }), 1000);
    EXPECT_TRUE(peer.WaitIdle(2000));
    GiveFilters(5);
    device->currentFilter = 0;
    // The frame holds a "/" that would end the wait as a failure if it were read as a reply.
    peer.Expect("FWGOTO2").Reply("..F").Reply(Concat("WmoveFocus/", {0x10}));
    peer.ReplyDelayed({'2'}, 50);
    EXPECT_TRUE(device->SelectFilter(2));
    EXPECT_EQ(device->currentFilter, 2);
    EXPECT_EQ(LinesWith("Skip cmd("), (std::vector<std::string>{"Skip cmd(WmoveFocus/\x10)\r\n"}));
    EXPECT_TRUE(peer.WaitIdle(2000));
    device->currentFilter = 3;
    peer.Expect("FWGOTO1").Reply("/");
    EXPECT_FALSE(device->SelectFilter(1));
    EXPECT_EQ(device->currentFilter, -1);  // refused: the filter is unknown
    EXPECT_EQ(device->failureReason, "the wheel reported a failure; its position is unknown");
    // The same filter is sent again; with no answer it fails after 2 s and keeps the filter.
    device->currentFilter = 2;
    peer.Expect("FWGOTO2");
    const long long ms = MsTaken([&] { EXPECT_FALSE(device->SelectFilter(2)); });
    EXPECT_GE(ms, 2000);
    EXPECT_LT(ms, 4000);
    EXPECT_EQ(device->currentFilter, 2);
    EXPECT_EQ(device->failureReason, "the wheel did not report the filter in time");
    // A hang-up is said once, in the result line, and left as the reason.
    peer.Expect("FWGOTO3").HangUp();
    EXPECT_FALSE(device->SelectFilter(3));
    EXPECT_EQ(device->currentFilter, 2);
    EXPECT_EQ(device->failureReason, "the line was hung up");
    std::string failed;  // the result lines, without their times
    for (const std::string& line : LinesWith("Failed Goto(")) failed += line.substr(0, 21);
    EXPECT_EQ(failed, "Failed Goto(3->1) in=Failed Goto(2->2) in=Failed Goto(2->3) in=");
    const auto hungUp = LinesWith("hung up");  // said once, in the result line
    ASSERT_EQ(hungUp.size(), 1u);
    EXPECT_EQ(hungUp[0].substr(0, 21) + hungUp[0].substr(hungUp[0].find("ms: ")),
              "Failed Goto(2->3) in=ms: the line was hung up\r\n");
    EXPECT_EQ(LinesWith("Goto(2->2) dif=0 TimeOut=2000\r\n").size(), 1u);
}

TEST_F(WheelCommands, WriteFilterTablePutsTheRowsIntoTheImageAndSendsAllOfIt) {
    ControllerConfig& config = device->config;
    for (int n = 0; n < kConfigSize; ++n) config.data()[n] = static_cast<uint8_t>(n);
    GiveFilters(3);
    std::strcpy(device->filters[0].name, "Luminance");  // cut to 8, unterminated
    device->filters[1].wheelPosition = 40000;
    device->filters[1].focuserPosition = 20000;
    device->filters[2].focuserPosition = -7;
    // Reserved bytes and the slots beyond the table travel as they were.
    Bytes image = ImageBytes(config);
    const auto put = [&](size_t at, std::string_view bytes) {
        std::copy(bytes.begin(), bytes.end(), image.begin() + at);
    };
    put(22, std::string_view("\0\0\x40\x9C\0\0", 6));  // 40000 as its 16-bit pattern
    put(42, std::string_view("\0\0\x20\x4E\xF9\xFF", 6));
    put(62, std::string_view("LuminancF1\0\0\0\0\0\0F2\0\0\0\0\0\0", 24));
    peer.Expect(Concat(std::string_view("FWwriteEE\x00\x90", 11), image)).Reply("!");
    EXPECT_TRUE(device->WriteFilterTable());
    EXPECT_TRUE(peer.WaitIdle(2000));
    EXPECT_EQ(ImageBytes(config), image);
}

TEST(FocuserMoveLimit, DistanceAtTheCappedSpeedPlusBacklashPlusTwoSeconds) {
    // from, to, speed (above 300 counts as 300, 0 as 10), backlash: ms, truncated.
    const struct {
        int32_t from, to;
        uint16_t speed, backlash;
        int32_t ms;
    } cases[] = {{0, 1000, 100, 20, 12220}, {1000, 0, 100, 20, 12220},
                 {500, 500, 100, 20, 2220}, {0, 1000, 300, 0, 5333},
                 {0, 1000, 301, 0, 5333},   {0, 300, 300, 0, 3000},
                 {0, 7, 300, 0, 2023},      {0, 1000, 0, 0, 102000},
                 {0, 0, 0, 65535, 722885},  {INT32_MIN, INT32_MAX, 10, 0, INT32_MAX}};
    for (const auto& c : cases) {
        EXPECT_EQ(FocuserMoveLimitMs(c.from, c.to, c.speed, c.backlash), c.ms)
            << c.from << "->" << c.to << " at " << c.speed << ", backlash " << c.backlash;
    }
}

using FocuserCommands = DeviceOnPeer;

TEST_F(FocuserCommands, MoveSendsTheTargetAndWaitsForTheAcknowledgementWithinTheLimit) {
    // Progress bytes and an interleaved frame's letters are skipped until "!".
    peer.Expect(Concat("FWgoFocus", {0xE8, 0x03})).Reply("+FWmove").ReplyDelayed({'!'}, 50);
    EXPECT_TRUE(device->MoveTo(1000));
    EXPECT_EQ(device->focuserPosition, 1000);
    const auto ok = LinesWith("OK GoFocus(0->1000) in=");
    ASSERT_EQ(ok.size(), 1u);
    EXPECT_GE(std::stod(ok[0].substr(std::strlen("OK GoFocus(0->1000) in="))), 40.0);
    // The full 32-bit target is remembered; only its low 16 bits travel.
    peer.Expect(Concat("FWgoFocus", {0x70, 0x11})).Reply("!");
    EXPECT_TRUE(device->MoveTo(70000));
    EXPECT_EQ(device->focuserPosition, 70000);
    // A relative move reads the position, then moves by whole minimum steps.
    device->MinMotorStep = 10;
    peer.Expect("FWfocus").Reply(Bytes{100, 0}).Expect(Concat("FWgoFocus", {150, 0})).Reply("!");
    EXPECT_TRUE(device->MoveRelative(5));
    EXPECT_EQ(device->focuserPosition, 150);
    peer.Expect("FWfocus").ExpectQuiet(50);  // no answer: nothing moves
    EXPECT_FALSE(device->MoveRelative(5));
    device->MinMotorStep = 1 << 30;  // a target beyond 32 bits is refused, not wrapped
    peer.Expect("FWfocus").Reply(Bytes{100, 0}).ExpectQuiet(50);
    EXPECT_FALSE(device->MoveRelative(4));
    EXPECT_TRUE(peer.WaitIdle(2000));
    // No acknowledgement in time: 10 steps at 100/s, no backlash: 2100 ms (swapped: 4100).
    device->focuserPosition = 300;
    device->config.focuserSpeed = 100;
    device->config.focuserBacklash = 0;
    peer.Expect(Concat("FWgoFocus", {0x36, 0x01})).Reply("+++");
    const long long ms = MsTaken([&] { EXPECT_FALSE(device->MoveTo(310)); });
    EXPECT_GE(ms, 2100);
    EXPECT_LT(ms, 3500);
    EXPECT_EQ(device->focuserPosition, 300);
    EXPECT_EQ(device->failureReason, "the focuser did not report the end of the move in time");
    const auto failed = LinesWith("Failed GoFocus(300->310) in=");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_NE(failed[0].find("ms timeout=2100ms\r\n"), std::string::npos) << failed[0];
    EXPECT_TRUE(peer.WaitIdle(2000));
    // A hang-up ends the wait at once; the move says it in its result line, once.
    sinkLines.clear();
    device->focuserPosition = 0;
    int32_t position = 0;
    device->config.focuserSpeed = 10;
    peer.Expect(Concat("FWgoFocus", {0x10, 0x27})).HangUp();
    EXPECT_LT(MsTaken([&] { EXPECT_FALSE(device->MoveTo(10000)); }), 5000);  // limit: 1002 s
    ASSERT_EQ(sinkLines.size(), 1u);
    EXPECT_EQ(sinkLines[0].rfind("Failed GoFocus(0->10000) in=", 0), 0u);
    EXPECT_EQ(sinkLines[0].substr(sinkLines[0].find("ms: ")), "ms: the line was hung up\r\n");
    EXPECT_EQ(device->focuserPosition, 0);
    // Later commands fail at once for the same reason, without another line.
    EXPECT_FALSE(device->GetPosition(position));
    EXPECT_EQ(device->failureReason, "the line was hung up");
    EXPECT_EQ(sinkLines.size(), 1u);
}

TEST_F(FocuserCommands, TheMicrostepTableIsReadAsCountThenEntriesAndSentBackWithItsCount) {
    Bytes table = {0x0A, 0x0D, 0x03, 0x11, 0x13, 0x7F, 0x00, 0xFF};
    peer.Expect("FWzm").Reply(Bytes{8}).ReplyDelayed(table, 50);
    EXPECT_TRUE(device->FWzm());
    ASSERT_EQ(device->microstepCount, 8);
    table.push_back(0);  // entries past the count stay empty
    EXPECT_EQ(Bytes(device->microstepTable, device->microstepTable + 9), table);
    EXPECT_TRUE(peer.WaitIdle(2000));

    // Empty (nothing more to read), cut short, silence, the full 128 entries, and one longer
    // than the entries held (read and dropped; the table stays unread, so no table cut short
    // goes back).
    const struct {
        Bytes reply;
        bool ok;
        int32_t count;
        uint8_t second;
    } cases[] = {{{0}, true, 0, 0},
                 {{4, 10, 20}, false, 4, 20},
                 {{}, false, -1, 0},
                 {Concat("\x80", Bytes(128, 9)), true, 128, 9},
                 {Concat("\x81", Bytes(129, 7)), false, -1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.size());
        peer.Expect("FWzm").Reply(c.reply);
        EXPECT_EQ(device->FWzm(), c.ok);
        EXPECT_EQ(device->microstepCount, c.count);
        EXPECT_EQ(device->microstepTable[1], c.second);
        EXPECT_TRUE(peer.WaitIdle(2000));
    }
    peer.ExpectQuiet(100);
    EXPECT_FALSE(device->FWym());
    EXPECT_TRUE(peer.WaitIdle(2000));
    // A table read is sent back with its count.
    device->microstepCount = 3;
    const uint8_t held[] = {0x00, 0x0D, 0x13, 0x55};  // the last one beyond the count
    std::memcpy(device->microstepTable, held, 4);
    peer.Expect(Concat("FWym", {0x00, 0x0D, 0x13})).Reply("!");
    EXPECT_TRUE(device->FWym());
    peer.Expect(Concat("FWym", {0x00, 0x0D, 0x13})).Reply("x");
    EXPECT_FALSE(device->FWym());
    device->microstepCount = 0;
    peer.Expect("FWym").Reply("!").ExpectQuiet(50);
    EXPECT_TRUE(device->FWym());
    EXPECT_TRUE(peer.WaitIdle(2000));
}

struct RecordingWheel : StepperWheel {
    RecordingWheel() : StepperWheel([](int) {}) {}
    void WriteOutputBits(uint8_t) override {}
    bool MoveTo(int32_t position) override {
        targets.push_back(position);
        return StepperWheel::MoveTo(position);
    }
    std::vector<int32_t> targets;
};

TEST(StepperWheel, FilterChangesRollBackFirstAndEveryFifthTimeAndApproachFromBelow) {
    RecordingWheel wheel;
    for (int32_t position : {40, 5}) wheel.filters.push_back({{}, position, 0});
    EXPECT_FALSE(wheel.SelectFilter(2) || wheel.SelectFilter(-1));
    std::vector<int> rolledBack;
    for (int change = 1; change <= 11; ++change) {  // a rollback first moves to InitialStep 0
        wheel.targets.clear();
        ASSERT_TRUE(wheel.SelectFilter(change % 2));
        if (wheel.targets.front() == 0) rolledBack.push_back(change);
    }
    EXPECT_EQ(rolledBack, (std::vector<int>{1, 6, 11}));
    EXPECT_FALSE(wheel.SelectFilter(1));  // the current filter
    // A filter behind the motor is approached from 12 steps below the filter.
    wheel.motorPosition = 60;
    wheel.targets.clear();
    ASSERT_TRUE(wheel.SelectFilter(0));
    EXPECT_EQ(wheel.targets, (std::vector<int32_t>{28, 40}));
    wheel.RollbackInterval = 0;  // from a damaged store: a rollback every time, no division
    ASSERT_TRUE(wheel.SelectFilter(1));
    EXPECT_EQ(wheel.targets, (std::vector<int32_t>{28, 40, 0, 5}));
}

}  // namespace
}  // namespace kavri::test
