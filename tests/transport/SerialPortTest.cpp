// Opening, line settings and their restoring, purging, byte transparency, hang-up and tracing
// of the serial port on a real pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "PortTestSupport.h"

namespace kavri::test {
namespace {

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

TEST(SerialPortOpen, SecondOpenFailsAtOnceAndPortReopensAfterClose) {
    ScriptedPeer peer;
    PortHandle first = OpenSerialPort(peer.SlavePath(), 9600);
    ASSERT_NE(first, nullptr);
    PortHandle second = first;
    double ms = MsTaken([&] { second = OpenSerialPort(peer.SlavePath(), 9600); });
    EXPECT_EQ(second, nullptr);
    EXPECT_LT(ms, 100);
    CloseSerialPort(first);

    PortHandle again = OpenSerialPort(peer.SlavePath(), 9600);
    ASSERT_NE(again, nullptr);
    peer.Expect("FWFILTER").Reply({'2'});
    uint8_t reply = 0;
    EXPECT_EQ(SendCommand(again, "FWFILTER", &reply, 1), 1);
    EXPECT_EQ(reply, '2');
    EXPECT_TRUE(peer.WaitIdle(3000));
    CloseSerialPort(again);
}

TEST(SerialPortOpen, AppliesRaw8N1WithoutFlowControl) {
    ScriptedPeer peer;
    // Start from a cooked, 7E2, flow-controlled line so every setting has to be changed.
    int fd = open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    tio.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP;
    tio.c_oflag |= OPOST | ONLCR;
    tio.c_lflag |= ICANON | ECHO | ISIG;
    tio.c_cflag = (tio.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
    cfsetspeed(&tio, B1200);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &tio), 0);

    PortHandle port = OpenSerialPort(peer.SlavePath(), 9600);
    ASSERT_NE(port, nullptr);
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B9600));

    // Closing puts back what the terminal had: a link gone stale onto someone's new terminal
    // session must not leave that session raw.
    CloseSerialPort(port);
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));  // a pty keeps CS8, no parity
    EXPECT_EQ(tio.c_iflag & (IXON | ICRNL), static_cast<tcflag_t>(IXON | ICRNL));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), static_cast<tcflag_t>(ICANON | ECHO | ISIG));
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B1200));
    close(fd);
}

using SerialPortIo = PortOnPeer;

TEST_F(SerialPortIo, PurgeDropsStaleInput) {
    peer.Reply("!!stale");
    ASSERT_TRUE(peer.WaitIdle(3000));
    PurgePort(port);
    peer.Expect("FWCOUNT").Reply({'6'});
    uint8_t reply[2] = {};
    EXPECT_EQ(SendCommand(port, "FWCOUNT", reply, 2), 1);
    EXPECT_EQ(reply[0], '6');
    EXPECT_TRUE(peer.WaitIdle(3000));
}

TEST_F(SerialPortIo, EveryByteValuePassesUnchangedBothWays) {
    // Line-discipline specials first (NUL, ^C, LF, CR, XON, XOFF, DEL, 0xFF), then all 256.
    Bytes data = {0x00, 0x03, 0x0A, 0x0D, 0x11, 0x13, 0x7F, 0xFF};
    for (int b = 0; b < 256; ++b) data.push_back(static_cast<uint8_t>(b));
    Bytes answer(data.rbegin(), data.rend());
    peer.Expect(data).Reply(answer);
    ASSERT_TRUE(WriteBytes(port, data.data(), static_cast<int>(data.size())));
    Bytes got(answer.size());
    EXPECT_EQ(ReadBytes(port, got.data(), static_cast<int>(got.size())),
              static_cast<int>(answer.size()));
    EXPECT_EQ(got, answer);
    EXPECT_TRUE(peer.WaitIdle(3000));
    EXPECT_EQ(peer.Received(), data);
}

TEST_F(SerialPortIo, HungUpPeerEndsReadsAndWritesFastWithoutSpinning) {
    // Part of a 144-byte record, then the line goes dead: the short count comes back when
    // the hang-up is seen, not after 14.5 s.
    peer.Expect("FWreadEE").Reply({1, 2}).Pause(30).HangUp();
    uint8_t record[144] = {};
    int count = 0;
    double ms = MsTaken([&] { count = SendCommand(port, "FWreadEE", record, 144); });
    EXPECT_EQ(count, 2);
    EXPECT_LT(ms, 1000);
    EXPECT_TRUE(PortHungUp(port));
    ASSERT_TRUE(peer.WaitIdle(3000));

    // A polling loop on the dead port gives up instead of burning the processor until its limit.
    uint8_t byte = 0;
    double cpuBefore = ThreadCpuMs();
    ms = MsTaken([&] { count = ReadWithTimeout(port, &byte, 1, 2000); });
    EXPECT_EQ(count, 0);
    EXPECT_LT(ms, 500);
    EXPECT_LT(ThreadCpuMs() - cpuBefore, 100);
    ms = MsTaken([&] { EXPECT_EQ(SendCommand(port, "FWFILTER", &byte, 1), 0); });
    EXPECT_LT(ms, 500);
}

TEST_F(SerialPortIo, TraceSeesBothDirectionsUntilRemoved) {
    std::vector<std::pair<TraceDirection, std::string>> seen;
    SetPortTrace(port, [&](TraceDirection direction, const uint8_t* bytes, int count) {
        seen.emplace_back(direction, std::string(bytes, bytes + count));
    });
    peer.Expect("FWGOTO4").Reply({'4'});
    const uint8_t arg = '4';
    uint8_t reply = 0;
    ASSERT_EQ(SendCommandWithArgs(port, "FWGOTO", &arg, 1, &reply, 1), 1);
    ASSERT_TRUE(peer.WaitIdle(3000));

    std::string out, in;
    for (const auto& [direction, text] : seen)
        (direction == TraceDirection::Out ? out : in) += text;
    EXPECT_EQ(out, "FWGOTO4");
    EXPECT_EQ(in, "4");

    SetPortTrace(port, {});
    const size_t traced = seen.size();
    peer.Expect("FWFILTER").Reply({'4'});
    EXPECT_EQ(SendCommand(port, "FWFILTER", &reply, 1), 1);
    EXPECT_TRUE(peer.WaitIdle(3000));
    EXPECT_EQ(seen.size(), traced);
}

}  // namespace
}  // namespace kavri::test
