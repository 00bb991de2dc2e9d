// Reading and writing the configuration image, and the byte trace of exchanges.
#include <gtest/gtest.h>

#include <cstring>

#include "device/DeviceOnPeer.h"
#include "device/ExchangeTrace.h"

namespace kavri::test {
namespace {

const std::string_view kReadFrame("FWreadEE\x00\x90", 10);
const std::string_view kWriteFrame("FWwriteEE\x00\x90", 11);

Bytes PatternImage() {
    Bytes image(kConfigSize);
    for (int i = 0; i < kConfigSize; ++i)
        image[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7);
    std::copy(kTroublesomeBytes.begin(), kTroublesomeBytes.end(), image.begin() + 60);
    return image;
}

using ReadImageCommand = DeviceOnPeer;

TEST_F(ReadImageCommand, WholeImageArrivesByteForByte) {
    const Bytes image = PatternImage();
    peer.Expect(kReadFrame).Reply(image);
    EXPECT_TRUE(device->FWreadEE(0, kConfigSize, device->config.data()));
    EXPECT_EQ(0, std::memcmp(device->config.data(), image.data(), kConfigSize));
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(ReadImageCommand, ShortImageFails) {
    const Bytes image = PatternImage();
    peer.Expect(kReadFrame).Reply(Bytes(image.begin(), image.end() - 1));
    EXPECT_FALSE(device->FWreadEE(0, kConfigSize, device->config.data()));
    // What arrived is kept; the caller treats the whole read as failed.
    EXPECT_EQ(0, std::memcmp(device->config.data(), image.data(), kConfigSize - 1));
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(ReadImageCommand, OffsetAndLengthTravelAsSingleBytes) {
    uint8_t part[4] = {};
    peer.Expect(std::string_view("FWreadEE\x16\x04", 10)).Reply(Bytes{1, 2, 3, 4});
    EXPECT_TRUE(device->FWreadEE(22, 4, part));
    EXPECT_EQ(part[3], 4);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

using WriteImageCommand = DeviceOnPeer;

TEST_F(WriteImageCommand, AcknowledgementWithinASecond) {
    const Bytes image = PatternImage();
    peer.Expect(Concat(kWriteFrame, image)).ReplyDelayed({'!'}, 300);
    EXPECT_TRUE(device->FWwriteEE(0, kConfigSize, image.data()));
    peer.Expect(Concat(kWriteFrame, image)).Reply("?");
    EXPECT_FALSE(device->FWwriteEE(0, kConfigSize, image.data()));
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(WriteImageCommand, ClosedPortSendsNothing) {
    const Bytes image = PatternImage();
    PortHandle open = device->port;
    device->port = nullptr;
    peer.ExpectQuiet(200);
    EXPECT_FALSE(device->FWwriteEE(0, kConfigSize, image.data()));
    EXPECT_FALSE(device->FWreadEE(0, kConfigSize, device->config.data()));
    EXPECT_TRUE(peer.WaitIdle(2000));
    device->port = open;
}

TEST(ExchangeTraceFormat, HexAndPrintableText) {
    const uint8_t bytes[] = {'F', 'W', 0x00, 0x0D, 0x7F, '!'};
    EXPECT_EQ(FormatTraceLine(1.5, TraceDirection::Out, bytes, 6),
              "1.500 : >> 46 57 00 0D 7F 21  |FW...!|\r\n");
    EXPECT_EQ(FormatTraceLine(0.0, TraceDirection::In, bytes + 5, 1), "0.000 : << 21  |!|\r\n");
}

using ExchangeTrace = DeviceOnPeer;

TEST_F(ExchangeTrace, OneLinePerDirectionAndStepInOrderWithTheLog) {
    device->SetExchangeTrace(true);
    GiveFilters(5);
    device->currentFilter = 0;
    // The keyword and its digit go out in two writes; two progress bytes, read one at a time,
    // come together, the digit after a pause longer than the inter-byte interval.
    peer.Expect("FWGOTO2").Reply("..").Pause(300).Reply("2");
    EXPECT_TRUE(device->SelectFilter(2));
    EXPECT_TRUE(peer.WaitIdle(2000));
    std::vector<std::string> lines;
    for (const std::string& line : LinesWith("")) {
        if (line.rfind(">>", 0) == 0 || line.rfind("<<", 0) == 0 || line.find("Goto(") == 0 ||
            line.find("OK Goto(") == 0) {
            lines.push_back(line);
        }
    }
    EXPECT_EQ(lines,
              (std::vector<std::string>{"Goto(0->2) dif=2 TimeOut=4000\r\n",
                                        ">> 46 57 47 4F 54 4F 32  |FWGOTO2|\r\n",
                                        "<< 2E 2E  |..|\r\n", "<< 32  |2|\r\n", lines.back()}));
    EXPECT_EQ(lines.back().rfind("OK Goto(0->2)", 0), 0u);

    sinkLines.clear();
    device->SetExchangeTrace(false);
    peer.Expect("FWfocus").Reply(Bytes{0x18, 0xFC});
    int32_t position = 0;
    EXPECT_TRUE(device->GetPosition(position));
    EXPECT_TRUE(peer.WaitIdle(2000));
    EXPECT_TRUE(sinkLines.empty());
}

TEST_F(ExchangeTrace, SwitchHoldsForAPortOpenedLater) {
    PortHandle open = device->port;
    device->port = nullptr;
    device->SetExchangeTrace(true);
    device->port = open;
    int32_t index = 0;
    peer.Expect("FWFILTER").Reply("1");
    EXPECT_TRUE(device->GetFilter(index));
    EXPECT_TRUE(peer.WaitIdle(2000));
    EXPECT_FALSE(LinesWith(">> 46 57 46 49 4C 54 45 52").empty());
    EXPECT_FALSE(LinesWith("<< 31  |1|").empty());
}

}  // namespace
}  // namespace kavri::test
