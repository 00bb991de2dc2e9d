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

TEST_F(ExchangeTrace, EveryByteBothWaysWhileSwitchedOn) {
    int32_t position = 0;
    device->SetExchangeTrace(true);
    peer.Expect("FWfocus").Reply(Bytes{0x18, 0xFC});
    EXPECT_TRUE(device->GetPosition(position));
    EXPECT_TRUE(peer.WaitIdle(2000));
    std::string traced;
    for (const std::string& line : sinkLines) traced += line;
    EXPECT_NE(traced.find(">> 46 57 66 6F 63 75 73"), std::string::npos) << traced;
    EXPECT_NE(traced.find("<< 18"), std::string::npos) << traced;
    EXPECT_NE(traced.find("FC"), std::string::npos) << traced;

    sinkLines.clear();
    device->SetExchangeTrace(false);
    peer.Expect("FWfocus").Reply(Bytes{0x18, 0xFC});
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
