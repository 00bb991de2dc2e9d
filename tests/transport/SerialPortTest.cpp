// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port and its exchange primitives on a real pseudo-terminal against a scripted
// peer: opening, line settings and their restoring, purging, byte transparency, the read
// time-outs and hang-up. (Command framing and tracing are checked byte for byte by the device
// tests.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <functional>

#include "support/ScriptedPeer.h"
#include "transport/SerialPort.h"

namespace kavri::test {
namespace {

TEST(SerialPortOpen, AppliesRaw8N1WithoutFlowControlAndRestoresTheLineOnClose) {
    ScriptedPeer peer;
    // Start from a cooked, 7E2, flow-controlled line so every setting has to be changed.
    const int fd = open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    tio.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP;
    tio.c_oflag |= OPOST;
    tio.c_lflag |= ICANON | ECHO | ISIG;
    tio.c_cflag = (tio.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
    cfsetspeed(&tio, B1200);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &tio), 0);

    PortHandle port = OpenSerialPort(peer.SlavePath(), 9600);
    ASSERT_NE(port, nullptr);
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
              static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ((tio.c_oflag & OPOST) | (tio.c_lflag & (ICANON | ECHO | ISIG)), 0u);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B9600));

    // A link gone stale onto someone's new terminal session must not leave that session raw.
    CloseSerialPort(port);
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    EXPECT_EQ(tio.c_iflag & (IXON | ICRNL), static_cast<tcflag_t>(IXON | ICRNL));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), static_cast<tcflag_t>(ICANON | ECHO | ISIG));
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B1200));
    close(fd);
}

class SerialPortIo : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(port = OpenSerialPort(peer.SlavePath(), 9600), nullptr); }
    void TearDown() override { CloseSerialPort(port); }

    ScriptedPeer peer;
    PortHandle port = nullptr;
};

TEST_F(SerialPortIo, PurgeAndEveryByteValuePassAndReadEndsOnTheCountAGapOrTheTotalTime) {
    peer.Reply("!!stale");
    ASSERT_TRUE(peer.WaitIdle(3000));
    PurgePort(port);
    // Line-discipline specials first (NUL, ^C, LF, CR, XON, XOFF, DEL, 0xFF), then all 256.
    Bytes data = {0x00, 0x03, 0x0A, 0x0D, 0x11, 0x13, 0x7F, 0xFF};
    for (int b = 0; b < 256; ++b) data.push_back(static_cast<uint8_t>(b));
    const Bytes answer(data.rbegin(), data.rend());
    peer.Expect(data).Reply(answer);
    ASSERT_TRUE(WriteBytes(port, data.data(), static_cast<int>(data.size())));
    Bytes got(answer.size() + 1);  // one more: no stale byte may come first
    EXPECT_EQ(ReadBytes(port, got.data(), static_cast<int>(got.size())),
              static_cast<int>(answer.size()));
    got.pop_back();
    EXPECT_EQ(got, answer);
    EXPECT_TRUE(peer.WaitIdle(3000));
    // A read ends on the count, a gap over 100 ms or the total time.
    struct Case {
        const char* what;
        std::function<void()> script;
        int n, count;
        double minMs, maxMs;
    };
    const Case cases[] = {
        {"whole reply at once", [&] { peer.Reply("\x10\x20\x30\x40"); }, 4, 4, 0, 60},
        {"a gap of 150 ms", [&] { peer.Reply("\x12").ReplyDelayed({0x34}, 150); }, 2, 1, 99, 400},
        {"gaps of 40 ms, 160 ms in all",
         [&] {
             for (uint8_t b = 1; b <= 5; ++b) peer.ReplyDelayed({b}, b == 1 ? 0 : 40);
         },
         5, 5, 150, 450},
        {"silence: 100 + 100 per byte", [] {}, 1, 0, 199, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        uint8_t reply[8] = {};
        int count = -1;
        c.script();
        const double ms = MsTaken([&] { count = ReadBytes(port, reply, c.n); });
        EXPECT_EQ(count, c.count);
        EXPECT_GE(ms, c.minMs);
        EXPECT_LT(ms, c.maxMs);
        EXPECT_TRUE(peer.WaitIdle(3000));
        PurgePort(port);
    }
    // Repeated reads: data after one empty read of 200 ms, then the limit on a silent line.
    peer.ReplyDelayed({'4'}, 250);
    uint8_t byte = 0;
    int count = 0;
    EXPECT_LT(MsTaken([&] { count = ReadWithTimeout(port, &byte, 1, 1000); }), 600);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(byte, '4');
    const double ms = MsTaken([&] { count = ReadWithTimeout(port, &byte, 1, 300); });
    EXPECT_EQ(count, 0);
    EXPECT_GE(ms, 300);
    EXPECT_LT(ms, 700);
}

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

TEST_F(SerialPortIo, HungUpPeerEndsReadsAndWritesFastWithoutSpinning) {
    // Part of a 144-byte record, then the line goes dead: the short count comes back when
    // the hang-up is seen, not after 14.5 s.
    peer.Expect("FWreadEE").Reply("\x01\x02").Pause(30).HangUp();
    uint8_t record[144] = {};
    int count = 0;
    EXPECT_LT(MsTaken([&] { count = SendCommand(port, "FWreadEE", record, 144); }), 1000);
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(PortHungUp(port));
    ASSERT_TRUE(peer.WaitIdle(3000));

    // A polling loop on the dead port gives up instead of burning the processor until its limit.
    const double cpuBefore = ThreadCpuMs();
    EXPECT_LT(MsTaken([&] { count = ReadWithTimeout(port, record, 1, 2000); }), 500);
    EXPECT_EQ(count, 0);
    EXPECT_LT(ThreadCpuMs() - cpuBefore, 100);
}

}  // namespace
}  // namespace kavri::test
