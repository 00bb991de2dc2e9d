// Every command discards what is waiting on the line before it sends: a late answer to an
// earlier command (the "!" of a move that timed out, the digit of a filter change) must never
// be taken for the new command's reply.
#include <gtest/gtest.h>

#include <functional>

#include "device/DeviceOnPeer.h"
#include "transport/Stopwatch.h"

namespace kavri::test {
namespace {

using namespace std::string_literals;
using StaleInput = DeviceOnPeer;

TEST_F(StaleInput, EveryKindOfExchangeDiscardsItBeforeSending) {
    GiveFilters(5);
    std::string image(kConfigSize, '\0');
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i);
    const auto* imageBytes = reinterpret_cast<const uint8_t*>(image.data());
    WheelFocuserDevice& d = *device;
    int32_t value = 0;
    float degrees = 0.0f;

    struct Case {
        std::string stale;    // waiting on the line: a plausible answer of its own
        std::string request;  // what the command sends (the start of it, for the table write)
        std::string reply;    // the controller's answer
        std::function<bool()> judgedTheReply;
        int replyDelayMs = 0;
    };
    const Case cases[] = {
        {"7", "FWFILTER", "3", [&] { return d.GetFilter(value) && value == 3; }},
        {"1", "FWGOTO1", "/", [&] { return !d.SelectFilter(1) && d.currentFilter == -1; }},
        {"!", "FWHOME", "?", [&] { return !d.Home(0); }},
        {"!", "FWgoFocus\x64\x00"s, "!",
         [&] {
             const Stopwatch stopwatch;
             return d.MoveTo(100) && stopwatch.ElapsedMs() >= 200;
         },
         300},
        {"+", "FWdirFocus", "-", [&] { return d.FWdirFocus(value) && value == -1; }},
        {"\x10\x00"s, "FWtemperature0", "\x20\x00"s,
         [&] { return d.FWtemperature(0, degrees) && degrees == 32 * 0.01f; }},
        {"\x02\x09\x09", "FWzm", "\x01\x07",
         [&] { return d.FWzm() && d.microstepCount == 1 && d.microstepTable[0] == 7; }},
        {"\x01\x02", "FWreadEE\x00\x90"s, image,
         [&] { return d.FWreadEE(0, kConfigSize, d.config.data()) && d.config.data()[1] == 1; }},
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
