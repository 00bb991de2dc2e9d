// Writing the configuration image (the probe reads it), and the byte trace of exchanges.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "device/DeviceOnPeer.h"
#include "device/ExchangeTrace.h"

namespace kavri::test {
namespace {

using ConfigImage = DeviceOnPeer;

TEST_F(ConfigImage, WriteNeedsAnAcknowledgementWithinOneSecond) {
    const Bytes image = ImageBytes(SampleImage());
    const Bytes frame = Concat(std::string_view("FWwriteEE\x00\x90", 11), image);
    peer.Expect(frame).ReplyDelayed({'!'}, 300);
    EXPECT_TRUE(device->FWwriteEE(0, kConfigSize, image.data()));
    peer.Expect(frame).Reply("?");
    EXPECT_FALSE(device->FWwriteEE(0, kConfigSize, image.data()));
    EXPECT_TRUE(peer.WaitIdle(2000));
    // An acknowledgement later than a second counts as failure: the write is not waited for.
    peer.Expect(frame).ReplyDelayed({'!'}, 1600);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(device->FWwriteEE(0, kConfigSize, image.data()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1550));
}

TEST(ExchangeTraceFormat, HexAndPrintableText) {
    const uint8_t bytes[] = {'F', 'W', 0x00, 0x0D, 0x7F, '!'};
    EXPECT_EQ(FormatTraceLine(1.5, TraceDirection::Out, bytes, 6),
              "1.500 : >> 46 57 00 0D 7F 21  |FW...!|\r\n");
    EXPECT_EQ(FormatTraceLine(0.0, TraceDirection::In, bytes + 5, 1), "0.000 : << 21  |!|\r\n");
}

using ExchangeTrace = DeviceOnPeer;

TEST_F(ExchangeTrace, OneLinePerDirectionAndStepInOrderWithTheLogUntilSwitchedOff) {
    // Switched on while no port is open: it holds for the port opened later.
    const PortHandle open = device->port;
    device->port = nullptr;
    device->SetExchangeTrace(true);
    device->port = open;
    GiveFilters(5);
    device->currentFilter = 0;
    // The keyword and its digit go out in two writes; two progress bytes, read one at a time,
    // come together, the digit after a pause longer than the inter-byte interval.
    peer.Expect("FWGOTO2").Reply("..").Pause(300).Reply("2");
    EXPECT_TRUE(device->SelectFilter(2));
    EXPECT_TRUE(peer.WaitIdle(2000));
    ASSERT_EQ(sinkLines.size(), 5u);
    sinkLines.back() = sinkLines.back().substr(0, 13);
    EXPECT_EQ(sinkLines,
              (std::vector<std::string>{"Goto(0->2) dif=2 TimeOut=4000\r\n",
                                        ">> 46 57 47 4F 54 4F 32  |FWGOTO2|\r\n",
                                        "<< 2E 2E  |..|\r\n", "<< 32  |2|\r\n", "OK Goto(0->2)"}));

    sinkLines.clear();
    device->SetExchangeTrace(false);
    peer.Expect("FWfocus").Reply("\x18\xFC");
    int32_t position = 0;
    EXPECT_TRUE(device->GetPosition(position));
    EXPECT_TRUE(peer.WaitIdle(2000));
    EXPECT_TRUE(sinkLines.empty());
}

}  // namespace
}  // namespace kavri::test
