// Focuser moves and the microstep table against a scripted controller, and the time a move
// may take.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>

#include "device/DeviceOnPeer.h"
#include "device/FocuserMoveLimit.h"

namespace kavri::test {
namespace {

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

TEST_F(FocuserCommands, MoveSendsTheTargetAndWaitsForTheAcknowledgement) {
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
}

TEST_F(FocuserCommands, NoAcknowledgementWithinTheLimitFails) {
    // 10 steps at 100 per second and no backlash: 2100 ms (the backlash taken for the speed
    // would allow 2000 + 100 × 11 ms, and 10 steps at the slowest speed 1000 ms more).
    device->focuserPosition = 300;
    device->config.focuserSpeed = 100;
    device->config.focuserBacklash = 0;
    peer.Expect(Concat("FWgoFocus", {0x36, 0x01})).Reply("+++");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(device->MoveTo(310));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(2100));
    EXPECT_LT(elapsed, std::chrono::milliseconds(3500));
    EXPECT_EQ(device->focuserPosition, 300);
    const auto failed = LinesWith("Failed GoFocus(300->310) in=");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_NE(failed[0].find("ms timeout=2100ms\r\n"), std::string::npos) << failed[0];
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(FocuserCommands, HungUpControllerFailsAtOnceAndSaysSoOnce) {
    device->config.focuserSpeed = 10;
    peer.Expect(Concat("FWgoFocus", {0x10, 0x27})).HangUp();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(device->MoveTo(10000));  // a limit of 1002 s
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    const auto failed = LinesWith("Failed GoFocus(0->10000) in=");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].substr(failed[0].find("ms: ")), "ms: the line was hung up\r\n");
    EXPECT_EQ(device->focuserPosition, 0);
    // Later commands fail at once for the same reason, without another log line.
    int32_t position = 0;
    EXPECT_FALSE(device->GetPosition(position));
    EXPECT_EQ(device->failureReason, "the line was hung up");
    EXPECT_EQ(LinesWith("hung up").size(), 1u);
}

TEST_F(FocuserCommands, PositionReadOnAHungUpLineIsLoggedAsSuch) {
    peer.Expect("FWfocus").HangUp();
    int32_t position = 0;
    EXPECT_FALSE(device->GetPosition(position));
    EXPECT_EQ(sinkLines, (std::vector<std::string>{"the line was hung up\r\n"}));
    EXPECT_EQ(device->failureReason, "the line was hung up");
}

TEST_F(FocuserCommands, MicrostepTableIsReadAsCountThenEntries) {
    Bytes table = {0x0A, 0x0D, 0x03, 0x11, 0x13, 0x7F, 0x00, 0xFF};
    peer.Expect("FWzm").Reply(Bytes{8}).ReplyDelayed(table, 50);
    EXPECT_TRUE(device->FWzm());
    ASSERT_EQ(device->microstepCount, 8);
    table.push_back(0);  // entries past the count stay empty
    EXPECT_EQ(Bytes(device->microstepTable, device->microstepTable + 9), table);
    EXPECT_TRUE(peer.WaitIdle(2000));

    const struct {
        Bytes reply;
        bool ok;
        int32_t count;
        uint8_t second;
    } cases[] = {
        {{0}, true, 0, 0},            // empty: nothing more to read
        {{4, 10, 20}, false, 4, 20},  // cut short
        {{}, false, -1, 0},           // silence
        // Longer than the 128 entries held: read and dropped, and the table stays unread so
        // that no table cut short goes back to the controller.
        {Concat(std::string(1, '\xC8'), Bytes(200, 7)), false, -1, 0},
    };
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
}

TEST_F(FocuserCommands, MicrostepTableIsSentWithItsCount) {
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

}  // namespace
}  // namespace kavri::test
