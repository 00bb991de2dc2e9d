#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>

#include "device/DeviceOnPeer.h"
#include "device/FocuserMoveLimit.h"

namespace kavri {
namespace {

TEST(FocuserMoveLimit, DistanceAtSpeedPlusBacklashPlusTwoSeconds) {
    EXPECT_EQ(FocuserMoveLimitMs(0, 1000, 100, 20), 12220);
    // Speeds above 300 count as 300: 1000 × 3.333… + 2000, truncated.
    EXPECT_EQ(FocuserMoveLimitMs(0, 1000, 1000, 0), 5333);
    EXPECT_EQ(FocuserMoveLimitMs(0, 1000, 301, 0), 5333);
    EXPECT_EQ(FocuserMoveLimitMs(0, 1000, 300, 0), 5333);
    // Direction does not matter; no distance leaves 2000 ms and the backlash.
    EXPECT_EQ(FocuserMoveLimitMs(1000, 0, 100, 20), 12220);
    EXPECT_EQ(FocuserMoveLimitMs(500, 500, 100, 20), 2220);
    EXPECT_EQ(FocuserMoveLimitMs(-500, 500, 250, 0), 6000);
}

TEST(FocuserMoveLimit, ExtendedPrecisionTruncation) {
    // 3 × (1000 / 300) is 10 in exact arithmetic; extended precision must not let it fall to
    // 9.999… and lose a millisecond.
    EXPECT_EQ(FocuserMoveLimitMs(0, 3, 300, 0), 2010);
    EXPECT_EQ(FocuserMoveLimitMs(0, 300, 300, 0), 3000);
    EXPECT_EQ(FocuserMoveLimitMs(0, 7, 300, 0), 2023);  // 23.33…
}

TEST(FocuserMoveLimit, ZeroSpeedAndExtremesStayBounded) {
    // Speed 0 is computed as 10 steps per second instead of dividing by zero.
    EXPECT_EQ(FocuserMoveLimitMs(0, 1000, 0, 0), FocuserMoveLimitMs(0, 1000, 10, 0));
    EXPECT_EQ(FocuserMoveLimitMs(0, 1000, 0, 0), 102000);
    EXPECT_EQ(FocuserMoveLimitMs(0, 0, 0, 65535), 2000 + 11 * 65535);
    // Distances beyond 32 bits saturate instead of overflowing.
    EXPECT_EQ(FocuserMoveLimitMs(INT32_MIN, INT32_MAX, 10, 0), INT32_MAX);
}

}  // namespace
}  // namespace kavri

namespace kavri::test {
namespace {

using Clock = std::chrono::steady_clock;

using FocusCommand = DeviceOnPeer;

TEST_F(FocusCommand, TwoBytesLowFirstAreASignedPosition) {
    int32_t position = 0;
    peer.Expect("FWfocus").Reply(Bytes{0x18, 0xFC});
    EXPECT_TRUE(device->GetPosition(position));
    EXPECT_EQ(position, -1000);
    EXPECT_EQ(device->focuserPosition, -1000);

    peer.Expect("FWfocus").Reply(Bytes{0x00, 0x80});
    EXPECT_TRUE(device->GetPosition(position));
    EXPECT_EQ(position, -32768);

    // Bytes a terminal would treat as line control arrive as data.
    peer.Expect("FWfocus").Reply(Bytes{0x11, 0x13});
    EXPECT_TRUE(device->GetPosition(position));
    EXPECT_EQ(position, 0x1311);
    EXPECT_TRUE(peer.WaitIdle(2000));
    EXPECT_EQ(peer.ReceivedText(), "FWfocusFWfocusFWfocus");
}

TEST_F(FocusCommand, SingleByteFailsAndKeepsThePosition) {
    device->focuserPosition = 77;
    int32_t position = 5;
    peer.Expect("FWfocus").Reply(Bytes{0x18});
    EXPECT_FALSE(device->GetPosition(position));
    EXPECT_EQ(device->focuserPosition, 77);
    EXPECT_EQ(position, 5);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(FocusCommand, HungUpLineIsLoggedAndLeftAsTheReason) {
    peer.Expect("FWfocus").HangUp();
    int32_t position = 0;
    EXPECT_FALSE(device->GetPosition(position));
    EXPECT_EQ(LinesWith("hung up"), (std::vector<std::string>{"the line was hung up\r\n"}));
    EXPECT_EQ(device->failureReason, "the line was hung up");
}

using GoFocusCommand = DeviceOnPeer;

TEST_F(GoFocusCommand, SendsTargetLowByteFirstAndWaitsForAcknowledgement) {
    device->config.focuserSpeed = 100;
    device->config.focuserBacklash = 20;
    // Progress bytes and an interleaved frame's letters are skipped until "!".
    peer.Expect(Concat("FWgoFocus", {0xE8, 0x03})).Reply("+FWmove").ReplyDelayed({'!'}, 50);
    EXPECT_TRUE(device->MoveTo(1000));
    EXPECT_EQ(device->focuserPosition, 1000);
    const auto ok = LinesWith("OK GoFocus(0->1000) in=");
    ASSERT_EQ(ok.size(), 1u);
    EXPECT_GE(std::stod(ok[0].substr(std::strlen("OK GoFocus(0->1000) in="))), 40.0);
    EXPECT_TRUE(peer.WaitIdle(2000));

    // The full 32-bit target is remembered; only its low 16 bits travel.
    peer.Expect(Concat("FWgoFocus", {0x70, 0x11})).Reply("!");
    EXPECT_TRUE(device->MoveTo(70000));
    EXPECT_EQ(device->focuserPosition, 70000);
    EXPECT_EQ(LinesWith("OK GoFocus(1000->70000)").size(), 1u);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(GoFocusCommand, NoAcknowledgementWithinTheLimitFails) {
    device->focuserPosition = 300;
    device->config.focuserSpeed = 0;  // computed as 10: must not divide by zero
    device->config.focuserBacklash = 0;
    peer.Expect(Concat("FWgoFocus", {0x2C, 0x01})).Reply("+++");
    const auto start = Clock::now();
    EXPECT_FALSE(device->MoveTo(300));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_GE(ms.count(), 2000);
    EXPECT_LT(ms.count(), 4000);
    EXPECT_EQ(device->focuserPosition, 300);
    const auto failed = LinesWith("Failed GoFocus(300->300) in=");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_NE(failed[0].find("ms timeout=2000ms\r\n"), std::string::npos);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(GoFocusCommand, HungUpControllerFailsAtOnceAndSaysSo) {
    device->config.focuserSpeed = 10;
    peer.Expect(Concat("FWgoFocus", {0x10, 0x27})).HangUp();
    const auto start = Clock::now();
    EXPECT_FALSE(device->MoveTo(10000));  // a limit of 1002 s
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    ExpectHangUpReportedBy("Failed GoFocus(0->10000) in=");
    EXPECT_EQ(device->focuserPosition, 0);

    // Every later command fails at once for the same reason, without another log line.
    int32_t position = 0;
    EXPECT_FALSE(device->GetPosition(position));
    EXPECT_EQ(device->failureReason, "the line was hung up");
    EXPECT_EQ(LinesWith("hung up").size(), 1u);
}

TEST_F(GoFocusCommand, MoveRelativeReadsThenMovesByMinimumSteps) {
    device->MinMotorStep = 10;
    peer.Expect("FWfocus").Reply(Bytes{100, 0});
    peer.Expect(Concat("FWgoFocus", {150, 0})).Reply("!");
    EXPECT_TRUE(device->MoveRelative(5));
    EXPECT_EQ(device->focuserPosition, 150);
    peer.Expect("FWfocus");  // no answer: nothing moves
    EXPECT_FALSE(device->MoveRelative(5));
    EXPECT_TRUE(peer.WaitIdle(2000));
    EXPECT_EQ(peer.Received().size(), 7u + 11u + 7u);
}

using SetFocusCommand = DeviceOnPeer;

TEST_F(SetFocusCommand, AnyReplyByteAcceptsTheNewPosition) {
    peer.Expect(Concat("FWsetFocus", {0xFB, 0xFF})).Reply("x");
    EXPECT_TRUE(device->SetPosition(-5));
    EXPECT_EQ(device->focuserPosition, -5);
    // The position kept is the 16-bit value that was sent.
    peer.Expect(Concat("FWsetFocus", {0x70, 0x11})).Reply(Bytes{0x00});
    EXPECT_TRUE(device->SetPosition(70000));
    EXPECT_EQ(device->focuserPosition, 4464);
    peer.Expect(Concat("FWsetFocus", {0x01, 0x00}));
    EXPECT_FALSE(device->SetPosition(1));
    EXPECT_EQ(device->focuserPosition, 4464);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

using DirFocusCommand = DeviceOnPeer;

TEST_F(DirFocusCommand, PlusAndMinusOnly) {
    int32_t direction = 0;
    peer.Expect("FWdirFocus").Reply("+");
    EXPECT_TRUE(device->FWdirFocus(direction));
    EXPECT_EQ(direction, 1);
    peer.Expect("FWdirFocus").Reply("-");
    EXPECT_TRUE(device->FWdirFocus(direction));
    EXPECT_EQ(direction, -1);
    peer.Expect("FWdirFocus").Reply("0");
    EXPECT_FALSE(device->FWdirFocus(direction));
    EXPECT_EQ(direction, -1);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

using TemperatureCommand = DeviceOnPeer;

TEST_F(TemperatureCommand, HundredthsInSinglePrecision) {
    float value = 0;
    peer.Expect("FWtemperature2").Reply(Bytes{0x29, 0x09});
    EXPECT_TRUE(device->FWtemperature(2, value));
    EXPECT_EQ(value, 23.449999f);
    EXPECT_NE(value, 23.45f);
    EXPECT_EQ(device->temperatures[2], 23.449999f);

    peer.Expect("FWtemperature0").Reply(Bytes{0x0A, 0x0D});  // 0x0D0A = 3338
    EXPECT_TRUE(device->FWtemperature(0, value));
    EXPECT_FLOAT_EQ(device->temperatures[0], 33.38f);

    peer.Expect("FWtemperature1").Reply(Bytes{0x18, 0xFC});
    EXPECT_TRUE(device->FWtemperature(1, value));
    EXPECT_FLOAT_EQ(value, -10.0f);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(TemperatureCommand, NoReadingFailsAndKeepsTheCache) {
    device->temperatures[2] = 5.0f;
    float value = 1.0f;
    peer.Expect("FWtemperature2").Reply(Bytes{0x00, 0x80});
    EXPECT_FALSE(device->FWtemperature(2, value));
    EXPECT_EQ(value, 1.0f);
    EXPECT_EQ(device->temperatures[2], 5.0f);
    peer.Expect("FWtemperature2").Reply(Bytes{0x29});
    EXPECT_FALSE(device->FWtemperature(2, value));
    EXPECT_EQ(device->temperatures[2], 5.0f);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(TemperatureCommand, IndicesOutsideTheCacheAreReadButNotKept) {
    float value = 0;
    peer.Expect("FWtemperature5").Reply(Bytes{100, 0});
    EXPECT_TRUE(device->FWtemperature(5, value));
    EXPECT_FLOAT_EQ(value, 1.0f);
    peer.Expect("FWtemperature/").Reply(Bytes{200, 0});
    EXPECT_TRUE(device->FWtemperature(-1, value));
    EXPECT_FLOAT_EQ(value, 2.0f);
    for (float t : device->temperatures) EXPECT_EQ(t, 0.0f);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

using CompensationCommands = DeviceOnPeer;

TEST_F(CompensationCommands, IsAutoNamesTheThermometer) {
    device->settings.AscomPreferredTermometer = 1;
    int32_t selector = 0;
    peer.Expect("FWisAuto").Reply("/");
    EXPECT_TRUE(device->FWisAuto(selector));
    EXPECT_EQ(selector, -1);
    EXPECT_EQ(device->settings.AscomPreferredTermometer, 1);
    peer.Expect("FWisAuto").Reply("2");
    EXPECT_TRUE(device->FWisAuto(selector));
    EXPECT_EQ(selector, 2);
    EXPECT_EQ(device->settings.AscomPreferredTermometer, 2);
    peer.Expect("FWisAuto");
    EXPECT_FALSE(device->FWisAuto(selector));
    EXPECT_EQ(selector, 2);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(CompensationCommands, AutoCompSetNeedsExactlyAnAcknowledgement) {
    peer.Expect("FWautoCompSet/").Reply("!");
    EXPECT_TRUE(device->FWautoCompSet(-1));
    peer.Expect("FWautoCompSet3").Reply("?");
    EXPECT_FALSE(device->FWautoCompSet(3));
    peer.Expect("FWautoCompSet0");
    EXPECT_FALSE(device->FWautoCompSet(0));
    EXPECT_TRUE(peer.WaitIdle(2000));
}

using StepSizeCommand = DeviceOnPeer;

TEST_F(StepSizeCommand, TwoBytesGiveStepAndLargestDivisor) {
    int32_t step = 0, divisor = 0;
    peer.Expect(Bytes{'F', 'W', 'u', 'b', 'S', 't', 'e', 'p', 0x00}).Reply(Bytes{0x04, 0xFF});
    EXPECT_TRUE(device->FWubStep(step, divisor));
    EXPECT_EQ(step, 4);
    EXPECT_EQ(divisor, 255);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(StepSizeCommand, ShortReplyLeavesTheDefaults) {
    device->config.focuserStepMicrosteps = 8;
    int32_t step = 0, divisor = 0;
    peer.Expect(Bytes{'F', 'W', 'u', 'b', 'S', 't', 'e', 'p', 0x00}).Reply(Bytes{0x04});
    EXPECT_FALSE(device->FWubStep(step, divisor));
    EXPECT_EQ(step, 8);
    EXPECT_EQ(divisor, 2);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

using MicrostepCommands = DeviceOnPeer;

TEST_F(MicrostepCommands, ReadsCountThenTable) {
    Bytes table = kTroublesomeBytes;
    table.push_back(0xFF);
    peer.Expect("FWzm").Reply(Bytes{static_cast<uint8_t>(table.size())}).ReplyDelayed(table, 50);
    EXPECT_TRUE(device->FWzm());
    ASSERT_EQ(device->microstepCount, static_cast<int32_t>(table.size()));
    EXPECT_EQ(0, std::memcmp(device->microstepTable, table.data(), table.size()));
    EXPECT_EQ(device->microstepTable[table.size()], 0);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(MicrostepCommands, EmptyAndShortTables) {
    device->microstepTable[0] = 9;
    peer.Expect("FWzm").Reply(Bytes{0});
    EXPECT_TRUE(device->FWzm());
    EXPECT_EQ(device->microstepCount, 0);
    EXPECT_EQ(device->microstepTable[0], 0);

    peer.Expect("FWzm").Reply(Bytes{4, 10, 20});
    EXPECT_FALSE(device->FWzm());
    EXPECT_EQ(device->microstepCount, 4);
    EXPECT_EQ(device->microstepTable[1], 20);

    peer.Expect("FWzm");
    EXPECT_FALSE(device->FWzm());
    EXPECT_EQ(device->microstepCount, -1);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(MicrostepCommands, OverlongTableFailsAndStaysUnread) {
    Bytes table(200);
    for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i + 1);
    peer.Expect("FWzm").Reply(Bytes{200}).Reply(table);
    EXPECT_FALSE(device->FWzm());
    EXPECT_EQ(device->microstepCount, -1);
    EXPECT_EQ(device->microstepTable[0], 0);
    EXPECT_TRUE(peer.WaitIdle(2000));
    // So no table cut to 128 bytes goes back to the controller.
    peer.ExpectQuiet(200);
    EXPECT_FALSE(device->FWym());
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(MicrostepCommands, WriteSendsTheHeldTable) {
    device->microstepCount = 3;
    device->microstepTable[0] = 0x00;
    device->microstepTable[1] = 0x0D;
    device->microstepTable[2] = 0x13;
    device->microstepTable[3] = 0x55;  // beyond the count: not sent
    peer.Expect(Concat("FWym", {0x00, 0x0D, 0x13})).Reply("!");
    EXPECT_TRUE(device->FWym());
    peer.Expect(Concat("FWym", {0x00, 0x0D, 0x13})).Reply("x");
    EXPECT_FALSE(device->FWym());
    device->microstepCount = 0;
    peer.Expect("FWym").Reply("!");
    EXPECT_TRUE(device->FWym());
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(MicrostepCommands, WriteWithoutATableReadSendsNothing) {
    ASSERT_EQ(device->microstepCount, -1);
    peer.ExpectQuiet(200);
    EXPECT_FALSE(device->FWym());
    EXPECT_FALSE(device->busy);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

}  // namespace
}  // namespace kavri::test
