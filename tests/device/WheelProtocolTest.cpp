// The wheel commands against a scripted controller: every byte sent is checked, replies are
// scripted.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>

#include "device/DeviceOnPeer.h"

namespace kavri::test {
namespace {

using Clock = std::chrono::steady_clock;

using GetFilterCommand = DeviceOnPeer;

TEST_F(GetFilterCommand, DigitNamesTheFilterAndSlashMeansUnknownButPresent) {
    int32_t index = 99;
    peer.Expect("FWFILTER").Reply("3");
    EXPECT_TRUE(device->GetFilter(index));
    EXPECT_EQ(index, 3);
    EXPECT_EQ(device->currentFilter, 3);

    peer.Expect("FWFILTER").Reply(":");
    EXPECT_TRUE(device->GetFilter(index));
    EXPECT_EQ(index, 10);

    peer.Expect("FWFILTER").Reply("/");
    EXPECT_TRUE(device->GetFilter(index));
    EXPECT_EQ(index, -1);
    EXPECT_EQ(device->currentFilter, -1);
    EXPECT_TRUE(peer.WaitIdle(2000));
    EXPECT_EQ(peer.ReceivedText(), "FWFILTERFWFILTERFWFILTER");  // nothing after the keyword
}

TEST_F(GetFilterCommand, OtherByteOrSilenceFailsAndForgetsTheFilter) {
    int32_t index = 7;
    device->currentFilter = 2;
    peer.Expect("FWFILTER").Reply(";");
    EXPECT_FALSE(device->GetFilter(index));
    EXPECT_EQ(device->currentFilter, -1);
    EXPECT_EQ(index, 7);

    device->currentFilter = 2;
    peer.Expect("FWFILTER");
    EXPECT_FALSE(device->GetFilter(index));
    EXPECT_EQ(device->currentFilter, -1);
    EXPECT_FALSE(device->busy);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

using CountCommand = DeviceOnPeer;

TEST_F(CountCommand, SizesTheTableFromTheImage) {
    ControllerConfig& config = device->config;
    std::memcpy(config.filterNames[0], "Lum", 3);
    std::memcpy(config.filterNames[1], "Halpha12", 8);  // full 8 bytes, no terminator
    config.filterWheelPositions[1] = static_cast<int16_t>(40000 & 0xFFFF);
    config.filterFocuserPositions[1] = 20000;
    config.filterWheelPositions[2] = 123;
    config.filterFocuserPositions[2] = -50;
    GiveFilters(5);

    peer.Expect("FWCOUNT").Reply("3");
    ASSERT_TRUE(device->FWCOUNT());
    ASSERT_EQ(device->filters.size(), 3u);
    EXPECT_STREQ(device->filters[0].name, "Lum");
    EXPECT_STREQ(device->filters[1].name, "Halpha12");
    EXPECT_EQ(device->filters[1].wheelPosition, -25536);
    EXPECT_EQ(device->filters[1].focuserPosition, 20000);
    EXPECT_EQ(device->filters[2].wheelPosition, 123);
    EXPECT_EQ(device->filters[2].focuserPosition, -50);

    peer.Expect("FWCOUNT").Reply(":");
    ASSERT_TRUE(device->FWCOUNT());
    EXPECT_EQ(device->filters.size(), 10u);
    EXPECT_STREQ(device->filters[9].name, "");
    EXPECT_TRUE(peer.WaitIdle(2000));
    EXPECT_EQ(peer.ReceivedText(), "FWCOUNTFWCOUNT");
}

TEST_F(CountCommand, ZeroOrSilenceLeavesTheTable) {
    GiveFilters(4);
    peer.Expect("FWCOUNT").Reply("0");
    EXPECT_FALSE(device->FWCOUNT());
    EXPECT_EQ(device->filters.size(), 4u);
    peer.Expect("FWCOUNT").Reply(";");
    EXPECT_FALSE(device->FWCOUNT());
    peer.Expect("FWCOUNT");
    EXPECT_FALSE(device->FWCOUNT());
    EXPECT_EQ(device->filters.size(), 4u);
    EXPECT_STREQ(device->filters[3].name, "F3");
    EXPECT_TRUE(peer.WaitIdle(2000));
}

using GotoCommand = DeviceOnPeer;

TEST_F(GotoCommand, ShortestWayGivesDifAndLimit) {
    struct Case {
        int rows, current, target;
        int32_t focuser;
        const char* line;
    };
    const Case cases[] = {
        {5, 4, 0, 0, "Goto(4->0) dif=1 TimeOut=3000\r\n"},
        {5, 1, 3, 0, "Goto(1->3) dif=2 TimeOut=4000\r\n"},
        {6, 0, 3, 0, "Goto(0->3) dif=3 TimeOut=5000\r\n"},
        {5, -1, 2, 0, "Goto(-1->2) dif=2 TimeOut=4000\r\n"},
        {5, 1, 3, -1, "Goto(1->3) dif=2 TimeOut=4010\r\n"},  // lost focuser: + dif × rows
        // A target beyond the table still gets a distance, not a negative limit.
        {3, 0, 5, 0, "Goto(0->5) dif=1 TimeOut=3000\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        sinkLines.clear();
        GiveFilters(c.rows);
        device->currentFilter = c.current;
        device->focuserPosition = c.focuser;
        const char digit[2] = {static_cast<char>('0' + c.target), 0};
        peer.Expect(std::string("FWGOTO") + digit).Reply(digit);
        EXPECT_TRUE(device->SelectFilter(c.target));
        EXPECT_EQ(device->currentFilter, c.target);
        ASSERT_EQ(LinesWith("Goto(").size(), 2u);
        EXPECT_EQ(LinesWith("Goto(")[0], c.line);
        EXPECT_TRUE(peer.WaitIdle(2000));
    }
}

TEST_F(GotoCommand, SuccessLogsPreviousFilterAndElapsedTime) {
    GiveFilters(5);
    device->currentFilter = 1;
    peer.Expect("FWGOTO4").Reply("..").ReplyDelayed({'4'}, 50);  // progress bytes are ignored
    EXPECT_TRUE(device->SelectFilter(4));
    EXPECT_EQ(device->currentFilter, 4);
    const auto ok = LinesWith("OK Goto(1->4) in=");
    ASSERT_EQ(ok.size(), 1u);
    const double ms = std::stod(ok[0].substr(std::strlen("OK Goto(1->4) in=")));
    EXPECT_GE(ms, 40.0);
    EXPECT_LT(ms, 2000.0);
    EXPECT_EQ(ok[0].substr(ok[0].size() - 4), "ms\r\n");
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(GotoCommand, InterleavedFocuserFrameIsSkipped) {
    GiveFilters(5);
    device->currentFilter = 0;
    // The frame holds a "/" that would end the wait as a failure if it were read as a reply.
    peer.Expect("FWGOTO2").Reply("F").Reply(Concat("WmoveFocus/", {0x10})).ReplyDelayed({'2'}, 20);
    EXPECT_TRUE(device->SelectFilter(2));
    EXPECT_EQ(device->currentFilter, 2);
    EXPECT_EQ(LinesWith("Skip cmd(").size(), 1u);
    EXPECT_EQ(LinesWith("Skip cmd(")[0], "Skip cmd(WmoveFocus/\x10)\r\n");
    EXPECT_EQ(LinesWith("OK Goto(0->2)").size(), 1u);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(GotoCommand, SlashFailsAndMakesTheFilterUnknown) {
    GiveFilters(5);
    device->currentFilter = 3;
    peer.Expect("FWGOTO1").Reply("/");
    EXPECT_FALSE(device->SelectFilter(1));
    EXPECT_EQ(device->currentFilter, -1);
    EXPECT_EQ(LinesWith("Failed Goto(3->1) in=").size(), 1u);
    EXPECT_FALSE(device->busy);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(GotoCommand, SameFilterIsSentAgainAndTimesOutAfterTwoSeconds) {
    GiveFilters(5);
    device->currentFilter = 2;
    peer.Expect("FWGOTO2");
    const auto start = Clock::now();
    EXPECT_FALSE(device->SelectFilter(2));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_GE(ms.count(), 2000);
    EXPECT_LT(ms.count(), 4000);
    EXPECT_EQ(device->currentFilter, 2);  // a time-out keeps the filter
    EXPECT_EQ(LinesWith("Goto(2->2) dif=0 TimeOut=2000\r\n").size(), 1u);
    EXPECT_EQ(LinesWith("Failed Goto(2->2) in=").size(), 1u);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(GotoCommand, HungUpLineIsReportedAsSuch) {
    GiveFilters(5);
    device->currentFilter = 1;
    peer.Expect("FWGOTO3").HangUp();
    EXPECT_FALSE(device->SelectFilter(3));
    ExpectHangUpReportedBy("Failed Goto(1->3) in=");
    EXPECT_EQ(device->currentFilter, 1);
}

TEST_F(GotoCommand, PerSlotTimeIsBoundedAtBothEnds) {
    struct Case {
        int32_t configured;
        const char* gotoLine;
        bool outOfRange;
    };
    const Case cases[] = {
        {INT32_MAX, "Goto(0->1) dif=1 TimeOut=62000\r\n", true},
        {-5000, "Goto(0->1) dif=1 TimeOut=2100\r\n", true},
        {60000, "Goto(0->1) dif=1 TimeOut=62000\r\n", false},
        {100, "Goto(0->1) dif=1 TimeOut=2100\r\n", false},
    };
    GiveFilters(5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.configured);
        sinkLines.clear();
        device->currentFilter = 0;
        device->ChangeFilterTimeoutMs = c.configured;
        peer.Expect("FWGOTO1").Reply("1");
        EXPECT_TRUE(device->SelectFilter(1));
        ASSERT_EQ(LinesWith("Goto(0->1) dif").size(), 1u);
        EXPECT_EQ(LinesWith("Goto(0->1) dif")[0], c.gotoLine);
        EXPECT_EQ(LinesWith("ChangeFilterTimeoutMs=" + std::to_string(c.configured) +
                            " is outside 100..60000")
                      .size(),
                  c.outOfRange ? 1u : 0u);
        EXPECT_TRUE(peer.WaitIdle(2000));
    }
    // Homing waits too, rather than failing at once on a negative time.
    device->ChangeFilterTimeoutMs = -1;
    peer.Expect("FWHOME").ReplyDelayed({'!'}, 50);
    EXPECT_TRUE(device->Home(0));
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(GotoCommand, EmptyTableSendsNothing) {
    peer.ExpectQuiet(300);
    EXPECT_FALSE(device->SelectFilter(0));
    EXPECT_TRUE(sinkLines.empty());
    EXPECT_FALSE(device->busy);
    EXPECT_TRUE(peer.WaitIdle(2000));
}

using HomeCommand = DeviceOnPeer;

TEST_F(HomeCommand, AcknowledgementDecides) {
    GiveFilters(5);
    device->currentFilter = 3;
    peer.Expect("FWHOME").ReplyDelayed({'!'}, 100);
    EXPECT_TRUE(device->Home(0));
    EXPECT_EQ(device->currentFilter, 3);
    peer.Expect("FWHOME").Reply("?");
    EXPECT_FALSE(device->Home(0));
    EXPECT_TRUE(peer.WaitIdle(2000));
    EXPECT_EQ(peer.ReceivedText(), "FWHOMEFWHOME");
    EXPECT_TRUE(sinkLines.empty());
}

TEST_F(HomeCommand, EmptyTableSendsTheKeywordAndFailsAtOnce) {
    peer.Expect("FWHOME").ExpectQuiet(100);
    const auto start = Clock::now();
    EXPECT_FALSE(device->Home(0));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_TRUE(peer.WaitIdle(2000));
}

using WriteNameCommand = DeviceOnPeer;

TEST_F(WriteNameCommand, SendsEightNameBytesAfterTheDigit) {
    GiveFilters(4);
    peer.Expect("FWWRITENAME2ABCDEFGH").Reply("!");
    EXPECT_TRUE(device->FWWRITENAME(2, "ABCDEFGHIJKL"));
    EXPECT_STREQ(device->filters[2].name, "ABCDEFGH");

    peer.Expect(Concat("FWWRITENAME0Ha", Bytes(6, 0x00))).Reply("!");
    EXPECT_TRUE(device->FWWRITENAME(0, "Ha"));
    EXPECT_STREQ(device->filters[0].name, "Ha");
    EXPECT_TRUE(peer.WaitIdle(2000));
    // The image copy follows only with the next table write.
    EXPECT_EQ(device->config.filterNames[2][0], 0);
}

TEST_F(WriteNameCommand, RefusedNameStaysInTheTable) {
    GiveFilters(4);
    peer.Expect(std::string_view("FWWRITENAME1OIII\0\0\0\0", 20)).Reply("?");
    EXPECT_FALSE(device->FWWRITENAME(1, "OIII"));
    EXPECT_STREQ(device->filters[1].name, "OIII");
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(WriteNameCommand, IndexOutsideTheTableSendsNothing) {
    GiveFilters(4);
    peer.ExpectQuiet(200);
    EXPECT_FALSE(device->FWWRITENAME(4, "X"));
    EXPECT_FALSE(device->FWWRITENAME(-1, "X"));
    EXPECT_TRUE(peer.WaitIdle(2000));
}

using WriteFilterTableCommand = DeviceOnPeer;

TEST_F(WriteFilterTableCommand, RowsGoIntoTheImageAndTheWholeImageIsSent) {
    ControllerConfig& config = device->config;
    for (int i = 0; i < kConfigSize; ++i) config.data()[i] = static_cast<uint8_t>(i);
    GiveFilters(3);
    std::strcpy(device->filters[0].name, "Luminance");  // cut to 8, unterminated
    std::strcpy(device->filters[1].name, "R");
    device->filters[1].wheelPosition = 40000;
    device->filters[1].focuserPosition = 20000;
    device->filters[2].focuserPosition = -7;
    ControllerConfig expected = config;
    std::memcpy(expected.filterNames[0], "Luminanc", 8);
    std::memcpy(expected.filterNames[1], "R\0\0\0\0\0\0\0", 8);
    std::memcpy(expected.filterNames[2], "F2\0\0\0\0\0\0", 8);
    for (int i = 0; i < 3; ++i) {
        expected.filterWheelPositions[i] = static_cast<int16_t>(device->filters[i].wheelPosition);
        expected.filterFocuserPositions[i] =
            static_cast<int16_t>(device->filters[i].focuserPosition);
    }
    const Bytes image(expected.data(), expected.data() + kConfigSize);
    peer.Expect(Concat(std::string_view("FWwriteEE\x00\x90", 11), image)).Reply("!");
    EXPECT_TRUE(device->WriteFilterTable());
    EXPECT_TRUE(peer.WaitIdle(2000));
    EXPECT_EQ(0, std::memcmp(config.data(), expected.data(), kConfigSize));
    EXPECT_EQ(config.data()[22 + 2], 0x40);  // 40000 as its 16-bit pattern
    EXPECT_EQ(config.data()[22 + 3], 0x9C);
    EXPECT_EQ(static_cast<int16_t>(config.filterWheelPositions[1]), -25536);
    EXPECT_EQ(config.data()[0], 0);  // reserved bytes travel untouched
    EXPECT_EQ(config.data()[14], 14);
}

TEST_F(WriteFilterTableCommand, ImageBytesThatLookLikeLineControlPassUnchanged) {
    ControllerConfig& config = device->config;
    std::memcpy(config.data(), kTroublesomeBytes.data(), kTroublesomeBytes.size());
    std::memcpy(config.data() + 136, kTroublesomeBytes.data(), kTroublesomeBytes.size());
    const Bytes image(config.data(), config.data() + kConfigSize);
    peer.Expect(Concat(std::string_view("FWwriteEE\x00\x90", 11), image)).Reply("!");
    EXPECT_TRUE(device->WriteFilterTable());
    EXPECT_TRUE(peer.WaitIdle(2000));
}

TEST_F(WriteFilterTableCommand, AnswerOtherThanAcknowledgementFailsButTheImageKeepsTheTable) {
    GiveFilters(2);
    std::strcpy(device->filters[1].name, "Blue");
    peer.Expect("FWwriteEE").Pause(100).Reply("?");
    EXPECT_FALSE(device->WriteFilterTable());
    EXPECT_EQ(std::string(device->config.filterNames[1], 4), "Blue");
    EXPECT_FALSE(device->busy);
    EXPECT_TRUE(peer.WaitIdle(2000));
    EXPECT_EQ(peer.Received().size(), 9u + 2u + 144u);
}

}  // namespace
}  // namespace kavri::test
