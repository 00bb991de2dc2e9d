// The filter change and the filter table write against a scripted controller.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "device/DeviceOnPeer.h"

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
    // Homing waits too, rather than failing at once on a negative time.
    peer.Expect("FWHOME").ReplyDelayed({'!'}, 50);
    EXPECT_TRUE(device->Home(0));
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(WheelCommands, GotoSkipsProgressAndAnInterleavedFocuserFrame) {
    GiveFilters(5);
    device->currentFilter = 0;
    // The frame holds a "/" that would end the wait as a failure if it were read as a reply.
    peer.Expect("FWGOTO2").Reply("..F").Reply(Concat("WmoveFocus/", {0x10}));
    peer.ReplyDelayed({'2'}, 50);
    EXPECT_TRUE(device->SelectFilter(2));
    EXPECT_EQ(device->currentFilter, 2);
    EXPECT_EQ(LinesWith("Skip cmd("), (std::vector<std::string>{"Skip cmd(WmoveFocus/\x10)\r\n"}));
    const auto ok = LinesWith("OK Goto(0->2) in=");
    ASSERT_EQ(ok.size(), 1u);
    EXPECT_GE(std::stod(ok[0].substr(std::strlen("OK Goto(0->2) in="))), 40.0);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(WheelCommands, GotoFailsOnSlashTimeOutOrHangUp) {
    GiveFilters(5);
    device->currentFilter = 3;
    peer.Expect("FWGOTO1").Reply("/");
    EXPECT_FALSE(device->SelectFilter(1));
    EXPECT_EQ(device->currentFilter, -1);  // refused: the filter is unknown
    // The same filter is sent again; with no answer it fails after 2 s and keeps the filter.
    device->currentFilter = 2;
    peer.Expect("FWGOTO2");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(device->SelectFilter(2));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(2000));
    EXPECT_LT(elapsed, std::chrono::milliseconds(4000));
    EXPECT_EQ(device->currentFilter, 2);
    // A hang-up is said once, in the result line, and left as the reason.
    peer.Expect("FWGOTO3").HangUp();
    EXPECT_FALSE(device->SelectFilter(3));
    EXPECT_EQ(device->currentFilter, 2);
    EXPECT_EQ(device->failureReason, "the line was hung up");
    const auto failed = LinesWith("Failed Goto(");
    ASSERT_EQ(failed.size(), 3u);
    for (const char* start :
         {"Failed Goto(3->1) in=", "Failed Goto(2->2) in=", "Failed Goto(2->3) in="})
        EXPECT_EQ(LinesWith(start).size(), 1u) << start;
    EXPECT_EQ(failed[2].substr(failed[2].find("ms: ")), "ms: the line was hung up\r\n");
    EXPECT_EQ(LinesWith("hung up").size(), 1u);
    EXPECT_EQ(LinesWith("Goto(2->2) dif=0 TimeOut=2000\r\n").size(), 1u);
}

TEST_F(WheelCommands, WithoutATableGotoSendsNothingAndHomeFailsAtOnce) {
    peer.ExpectQuiet(100);
    EXPECT_FALSE(device->SelectFilter(0));
    EXPECT_TRUE(peer.WaitIdle(2000));
    peer.Expect("FWHOME").ExpectQuiet(100);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(device->Home(0));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_TRUE(peer.WaitIdle(2000));
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
    // Any other answer fails, but the image keeps the table.
    std::strcpy(device->filters[1].name, "Blue");
    peer.Expect("FWwriteEE").Pause(100).Reply("?");
    EXPECT_FALSE(device->WriteFilterTable());
    EXPECT_EQ(std::string(config.filterNames[1], 4), "Blue");
    EXPECT_TRUE(peer.WaitIdle(2000));
}

}  // namespace
}  // namespace kavri::test
