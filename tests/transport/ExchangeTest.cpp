// Command framing and the read time-outs of the exchange primitives, against a scripted peer.
#include <gtest/gtest.h>

#include <cstdint>

#include "PortTestSupport.h"

namespace kavri::test {
namespace {

using ExchangeTest = PortOnPeer;

TEST_F(ExchangeTest, KeywordGoesOutAsExactlyItsCharacters) {
    peer.Expect("FWCOUNT").Reply({'5'}).ExpectQuiet(150);
    uint8_t reply = 0;
    EXPECT_EQ(SendCommand(port, "FWCOUNT", &reply, 1), 1);
    EXPECT_EQ(reply, '5');
    EXPECT_TRUE(peer.WaitIdle(3000));
    EXPECT_EQ(peer.ReceivedText(), "FWCOUNT");
}

TEST_F(ExchangeTest, ArgumentsFollowTheKeywordDirectly) {
    const uint8_t args[] = {0x34, 0x12, 0x00, 0xFF};
    peer.Expect({'F', 'W', 'g', 'o', 'F', 'o', 'c', 'u', 's', 0x34, 0x12, 0x00, 0xFF})
        .Reply({'!'})
        .ExpectQuiet(100);
    uint8_t reply = 0;
    EXPECT_EQ(SendCommandWithArgs(port, "FWgoFocus", args, 4, &reply, 1), 1);
    EXPECT_EQ(reply, '!');
    EXPECT_TRUE(peer.WaitIdle(3000));

    // A frame composed from the single-byte writes is the same stream of bytes.
    peer.Expect("FWGOTO3").Reply({'3'});
    EXPECT_TRUE(WriteKeyword(port, "FWGOTO"));
    EXPECT_TRUE(WriteByte(port, '3'));
    EXPECT_EQ(ReadBytes(port, &reply, 1), 1);
    EXPECT_EQ(reply, '3');
    EXPECT_TRUE(peer.WaitIdle(3000));
}

TEST_F(ExchangeTest, WholeReplyReturnsAtOnce) {
    peer.Expect("FWtemperature").Reply({0x10, 0x20, 0x30, 0x40});
    uint8_t reply[4] = {};
    int count = 0;
    double ms = MsTaken([&] { count = SendCommand(port, "FWtemperature", reply, 4); });
    EXPECT_EQ(count, 4);
    EXPECT_EQ(reply[3], 0x40);
    // Far below the 100 ms that would pass if the read waited for a gap after the last byte.
    EXPECT_LT(ms, 60);
    EXPECT_TRUE(peer.WaitIdle(3000));
}

TEST_F(ExchangeTest, GapOfMoreThan100MsEndsTheRead) {
    peer.Expect("FWfocus").Reply({0x12}).ReplyDelayed({0x34}, 150);
    uint8_t reply[2] = {};
    int count = 0;
    double ms = MsTaken([&] { count = SendCommand(port, "FWfocus", reply, 2); });
    EXPECT_EQ(count, 1);
    EXPECT_EQ(reply[0], 0x12);
    EXPECT_GE(ms, 99);  // the read waited the full interval after the first byte
    EXPECT_TRUE(peer.WaitIdle(3000));
}

TEST_F(ExchangeTest, GapsBelow100MsKeepTheReadGoing) {
    // Five bytes spaced 40 ms: 160 ms in all, longer than the interval but within the
    // total of 100 + 5·100 ms, so every byte is read.
    peer.Expect("FWzm").ReplyBytesSpaced({1, 2, 3, 4, 5}, 40);
    uint8_t reply[5] = {};
    EXPECT_EQ(SendCommand(port, "FWzm", reply, 5), 5);
    EXPECT_EQ(reply[4], 5);
    EXPECT_TRUE(peer.WaitIdle(3000));
}

TEST_F(ExchangeTest, SilentLineEndsReadAfterTotalTimeout) {
    uint8_t reply = 0;
    int count = -1;
    double ms = MsTaken([&] { count = ReadBytes(port, &reply, 1); });
    EXPECT_EQ(count, 0);
    EXPECT_GE(ms, 199);
    EXPECT_LT(ms, 500);
}

TEST_F(ExchangeTest, ReadWithTimeoutLimitZeroReadsNothing) {
    peer.Reply({'7'});
    ASSERT_TRUE(peer.WaitIdle(3000));
    uint8_t byte = 0;
    EXPECT_EQ(ReadWithTimeout(port, &byte, 1, 0), 0);
    EXPECT_EQ(ReadWithTimeout(port, &byte, 1, -5), 0);
    EXPECT_EQ(byte, 0);
    // The waiting byte is still there for the next read.
    EXPECT_EQ(ReadBytes(port, &byte, 1), 1);
    EXPECT_EQ(byte, '7');
}

TEST_F(ExchangeTest, ReadWithTimeoutOnSilentLineEndsAfterLimit) {
    uint8_t byte = 0;
    int count = -1;
    double ms = MsTaken([&] { count = ReadWithTimeout(port, &byte, 1, 1000); });
    EXPECT_EQ(count, 0);
    EXPECT_GE(ms, 1000);
    EXPECT_LE(ms, 1300);
}

TEST_F(ExchangeTest, ReadWithTimeoutReturnsFirstData) {
    // Arrives after two empty reads of 200 ms: the call keeps reading and returns it.
    peer.ReplyDelayed({'4'}, 450);
    uint8_t byte = 0;
    int count = 0;
    double ms = MsTaken([&] { count = ReadWithTimeout(port, &byte, 1, 3000); });
    EXPECT_EQ(count, 1);
    EXPECT_EQ(byte, '4');
    EXPECT_GE(ms, 440);
    EXPECT_LT(ms, 1000);
    EXPECT_TRUE(peer.WaitIdle(3000));
}

TEST(ExchangeWithoutPort, EveryPrimitiveFailsAtOnce) {
    uint8_t byte = 0;
    double ms = MsTaken([&] {
        EXPECT_FALSE(WriteByte(nullptr, 'x'));
        EXPECT_FALSE(WriteKeyword(nullptr, "FWHOME"));
        EXPECT_EQ(SendCommand(nullptr, "FWHOME", &byte, 1), 0);
        EXPECT_EQ(SendCommandWithArgs(nullptr, "FWGOTO", &byte, 1, &byte, 1), 0);
        EXPECT_EQ(ReadBytes(nullptr, &byte, 1), 0);
        EXPECT_EQ(ReadWithTimeout(nullptr, &byte, 1, 2000), 0);
        PurgePort(nullptr);
        FlushPort(nullptr);
        CloseSerialPort(nullptr);
    });
    EXPECT_LT(ms, 100);
}

}  // namespace
}  // namespace kavri::test
