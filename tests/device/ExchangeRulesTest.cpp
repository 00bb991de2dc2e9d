// What holds for every command: it refuses at once, sending nothing, while another exchange
// holds the port or no port is open; and it discards what is waiting on the line before it
// sends, so a late answer to an earlier command (the "!" of a move that timed out, the digit
// of a filter change) is never taken for its reply.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "device/DeviceOnPeer.h"
#include "transport/Stopwatch.h"

namespace kavri::test {
namespace {

class ExchangeRules : public DeviceOnPeer {
protected:
    std::vector<std::pair<const char*, std::function<bool()>>> AllCommands() {
        WheelFocuserDevice& d = *device;
        return {
            {"GetFilter", [&] { return d.GetFilter(i); }},
            {"FWCOUNT", [&] { return d.FWCOUNT(); }},
            {"SelectFilter", [&] { return d.SelectFilter(1); }},
            {"Home", [&] { return d.Home(0); }},
            {"FWWRITENAME", [&] { return d.FWWRITENAME(0, "L"); }},
            {"WriteFilterTable", [&] { return d.WriteFilterTable(); }},
            {"GetPosition", [&] { return d.GetPosition(i); }},
            {"MoveTo", [&] { return d.MoveTo(100); }},
            {"MoveRelative", [&] { return d.MoveRelative(1); }},
            {"SetPosition", [&] { return d.SetPosition(5); }},
            {"FWdirFocus", [&] { return d.FWdirFocus(i); }},
            {"FWtemperature", [&] { return d.FWtemperature(0, t); }},
            {"FWisAuto", [&] { return d.FWisAuto(i); }},
            {"FWautoCompSet", [&] { return d.FWautoCompSet(1); }},
            {"FWubStep", [&] { return d.FWubStep(i, j); }},
            {"FWzm", [&] { return d.FWzm(); }},
            {"FWym", [&] { return d.FWym(); }},
        };
    }
    int32_t i = 0, j = 0;
    float t = 0;
};

TEST_F(ExchangeRules, WhileBusyOrWithoutAPortNothingIsSentAndNothingChanges) {
    GiveFilters(3);
    device->currentFilter = 0;
    device->microstepCount = 2;  // so FWym would otherwise send
    device->focuserPosition = 42;
    device->temperatures[0] = 7.0f;
    const PortHandle open = device->port;
    for (const bool busy : {true, false}) {
        device->busy = busy;
        device->port = busy ? open : nullptr;
        for (const auto& [name, command] : AllCommands()) {
            SCOPED_TRACE(std::string(name) + (busy ? " while busy" : " without a port"));
            EXPECT_FALSE(command());
            // The holder's flag is left alone, and nothing the commands touch changes.
            EXPECT_EQ(std::make_tuple(device->busy, device->currentFilter, device->focuserPosition,
                                      device->filters.size(), device->microstepCount,
                                      device->temperatures[0]),
                      std::make_tuple(busy, 0, 42, size_t{3}, 2, 7.0f));
        }
    }
    device->port = open;
    peer.ExpectQuiet(50);
    EXPECT_TRUE(peer.WaitIdle(3000));
    EXPECT_TRUE(peer.Received().empty());
    EXPECT_TRUE(sinkLines.empty());
}

TEST_F(ExchangeRules, EveryKindOfExchangeDiscardsStaleInputBeforeSending) {
    GiveFilters(5);
    std::string image(kConfigSize, '\0');
    for (size_t n = 0; n < image.size(); ++n) image[n] = static_cast<char>(n);
    const auto* imageBytes = reinterpret_cast<const uint8_t*>(image.data());
    WheelFocuserDevice& d = *device;
    struct Case {
        std::string stale;    // waiting on the line: a plausible answer of its own
        std::string request;  // what the command sends (the start of it, for the table write)
        std::string reply;    // the controller's answer
        std::function<bool()> judgedTheReply;
        int replyDelayMs = 0;
    };
    const Case cases[] = {
        {"7", "FWFILTER", "3", [&] { return d.GetFilter(i) && i == 3; }},
        {"1", "FWGOTO1", "/", [&] { return !d.SelectFilter(1) && d.currentFilter == -1; }},
        {"!", "FWHOME", "?", [&] { return !d.Home(0); }},
        {"!", "FWgoFocus\x64\x00"s, "!",
         [&] {
             const Stopwatch stopwatch;
             return d.MoveTo(100) && stopwatch.ElapsedMs() >= 200;
         },
         300},
        {"\x02\x09\x09", "FWzm", "\x01\x07",
         [&] { return d.FWzm() && d.microstepCount == 1 && d.microstepTable[0] == 7; }},
        {"!", "FWwriteEE\x00\x90"s + image, "?",
         [&] { return !d.FWwriteEE(0, kConfigSize, imageBytes); }},
        // Last: only the start of its frame is matched (the image is checked elsewhere).
        {"!", "FWwriteEE", "?", [&] { return !d.WriteFilterTable(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.substr(0, 14));
        // The stale bytes reach the port's input before the command starts.
        peer.Reply(c.stale).Pause(100);
        ASSERT_TRUE(peer.WaitIdle(2000));
        peer.Expect(c.request).ReplyDelayed(Bytes(c.reply.begin(), c.reply.end()), c.replyDelayMs);
        EXPECT_TRUE(c.judgedTheReply());
        EXPECT_TRUE(peer.WaitIdle(3000));
    }
}

}  // namespace
}  // namespace kavri::test
