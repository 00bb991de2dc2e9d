// SPDX-License-Identifier: GPL-3.0-or-later
// What holds for every command, every one-request-one-reply command's judgement of its
// reply, and the configuration image write, against a scripted controller on a real
// pseudo-terminal. (The command-line tests check the byte trace.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "device/CommandExchange.h"
#include "device/DeviceOnPeer.h"
#include "device/DeviceOperations.h"
#include "transport/Stopwatch.h"

namespace kavri::test {
namespace {

// Every command refuses at once, sending nothing, while another exchange holds the port or
// no port is open, and discards what waits on the line before it sends: a late answer to an
// earlier command (the "!" of a move that timed out) is never taken for its reply.

using ExchangeRules = DeviceOnPeer;

TEST_F(ExchangeRules, WhileBusyOrWithoutAPortNothingIsSentAndNothingChanges) {
    WheelFocuserDevice& d = *device;
    int32_t i = 0, j = 0;
    float t = 0;
    const std::pair<const char*, std::function<bool()>> commands[] = {
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
        {"WriteConfiguration", [&] { return WriteConfiguration(d); }}};
    GiveFilters(3);
    device->currentFilter = 0;
    device->microstepCount = 2;  // so FWym would otherwise send
    device->focuserPosition = 42;
    device->temperatures[0] = 7.0f;
    const PortHandle open = device->port;
    for (const bool busy : {true, false}) {
        device->busy = busy;
        device->port = busy ? open : nullptr;
        for (const auto& [name, command] : commands) {
            SCOPED_TRACE(std::string(name) + (busy ? " while busy" : " without a port"));
            EXPECT_FALSE(command());
            // Why, for every front end to show (WriteFilterTable has no reason of its own).
            if (std::string_view(name) != "WriteFilterTable") {
                EXPECT_EQ(device->failureReason, busy ? kBusy : kNotConnected);
            }
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
    int32_t i = 0;
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
        {"!", "FWgoFocus\x64\x00"s, "!",
         [&] {
             const Stopwatch stopwatch;
             return d.MoveTo(100) && stopwatch.ElapsedMs() >= 200;
         },
         300},
        // An acknowledgement later than a second counts as failure: the write is not waited for.
        {"!", "FWwriteEE\x00\x90"s + image, "!",
         [&] {
             const Stopwatch stopwatch;
             return !d.FWwriteEE(0, kConfigSize, imageBytes) && stopwatch.ElapsedMs() < 1550;
         },
         1600},
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

using CommandReplies = DeviceOnPeer;

TEST_F(CommandReplies, EachReplyIsJudgedByItsCommand) {
    WheelFocuserDevice& d = *device;
    std::memcpy(d.config.filterNames[1], "Halpha12", 8);  // full 8 bytes, no terminator
    d.config.filterWheelPositions[1] = static_cast<int16_t>(40000 & 0xFFFF);
    d.config.filterFocuserPositions[1] = -50;
    d.config.focuserStepMicrosteps = 8;
    d.settings.AscomPreferredTermometer = 1;
    int32_t i = 0, j = 0;
    float t = 0;
    const auto near = [](float value, float expected) {
        return std::fabs(value - expected) < 1e-4;
    };
    const auto filterAfter = [&](int32_t before) {
        d.currentFilter = 2;
        i = before;
        return d.GetFilter(i);
    };
    const struct {
        std::string request, reply;
        std::function<bool()> judged;
    } cases[] = {
        // One digit from "/" (a wheel that does not know its filter) to ":" (10).
        {"FWFILTER", "3", [&] { return filterAfter(0) && i == 3 && d.currentFilter == 3; }},
        {"FWFILTER", ":", [&] { return filterAfter(0) && i == 10; }},
        {"FWFILTER", "/", [&] { return filterAfter(0) && i == -1 && d.currentFilter == -1; }},
        {"FWFILTER", ";", [&] { return !filterAfter(9) && i == 9 && d.currentFilter == -1; }},
        {"FWFILTER", "", [&] { return !filterAfter(9) && d.currentFilter == -1; }},
        // The count sizes the table from the image; anything but "1" to ":" leaves it.
        {"FWCOUNT", "0", [&] { return !d.FWCOUNT() && d.filters.empty(); }},
        {"FWCOUNT", "2",
         [&] {
             return d.FWCOUNT() && d.filters.size() == 2 && d.filters[1].name == "Halpha12"s &&
                    d.filters[1].wheelPosition == -25536 && d.filters[1].focuserPosition == -50;
         }},
        {"FWCOUNT", ":", [&] { return d.FWCOUNT() && d.filters.size() == 10; }},
        {"FWHOME", "!", [&] { return (d.currentFilter = 3, d.Home(0)) && d.currentFilter == 3; }},
        {"FWHOME", "?", [&] { return !d.Home(0); }},
        // Eight name bytes after the digit; the table keeps the name whatever the answer.
        {"FWWRITENAME2ABCDEFGH", "!",
         [&] { return d.FWWRITENAME(2, "ABCDEFGHIJKL") && d.filters[2].name == "ABCDEFGH"s; }},
        {"FWWRITENAME0Ha\0\0\0\0\0\0"s, "?",
         [&] { return !d.FWWRITENAME(0, "Ha") && d.filters[0].name == "Ha"s; }},
        // Positions: two bytes, low first, signed.
        {"FWfocus", "\x18\xFC", [&] { return d.GetPosition(i) && i == -1000; }},
        {"FWfocus", "\x00\x80"s, [&] { return d.GetPosition(i) && d.focuserPosition == -32768; }},
        {"FWfocus", "\x18", [&] { return !d.GetPosition(i) && d.focuserPosition == -32768; }},
        // Any answer at all takes the new position; the one kept is the 16-bit value sent.
        {"FWsetFocus\xFB\xFF", "x", [&] { return d.SetPosition(-5) && d.focuserPosition == -5; }},
        {"FWsetFocus\x70\x11", "\x00"s,
         [&] { return d.SetPosition(70000) && d.focuserPosition == 4464; }},
        {"FWdirFocus", "+", [&] { return d.FWdirFocus(i) && i == 1; }},
        {"FWdirFocus", "-", [&] { return d.FWdirFocus(i) && i == -1; }},
        {"FWdirFocus", "0", [&] { return !d.FWdirFocus(i) && i == -1; }},
        // Hundredths of a degree, scaled in single precision: 2345 is 23.449999f.
        {"FWtemperature2", "\x29\x09",
         [&] { return d.FWtemperature(2, t) && t == 23.449999f && d.temperatures[2] == t; }},
        {"FWtemperature0", "\x0A\x0D",
         [&] { return d.FWtemperature(0, t) && near(d.temperatures[0], 33.38f); }},
        // No reading, or a short one: the cache keeps its value.
        {"FWtemperature2", "\x00\x80"s,
         [&] { return !d.FWtemperature(2, t) && d.temperatures[2] == 23.449999f; }},
        {"FWtemperature2", "\x29",
         [&] { return !d.FWtemperature(2, t) && d.temperatures[2] == 23.449999f; }},
        // A thermometer beyond the four cached ones is read but not kept.
        {"FWtemperature5", "\x64\x00"s,
         [&] { return d.FWtemperature(5, t) && near(t, 1) && !d.busy && d.timerId == 15; }},
        // "/" is compensation off: the preferred thermometer stays as chosen before.
        {"FWisAuto", "/",
         [&] { return d.FWisAuto(i) && i == -1 && d.settings.AscomPreferredTermometer == 1; }},
        {"FWisAuto", "2",
         [&] { return d.FWisAuto(i) && i == 2 && d.settings.AscomPreferredTermometer == 2; }},
        {"FWautoCompSet/", "!", [&] { return d.FWautoCompSet(-1); }},
        {"FWautoCompSet3", "?", [&] { return !d.FWautoCompSet(3); }},
        // The step size and largest divisor; without them, the configured step and 2.
        {"FWubStep\x00"s, "\x04\xFF", [&] { return d.FWubStep(i, j) && i == 4 && j == 255; }},
        {"FWubStep\x00"s, "\x04", [&] { return !d.FWubStep(i, j) && i == 8 && j == 2; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request + " answered " + std::to_string(c.reply.size()) + " bytes");
        peer.Expect(c.request).Reply(c.reply);
        EXPECT_TRUE(c.judged());
        EXPECT_TRUE(peer.WaitIdle(2000));
    }
    // Indices outside the table send nothing.
    peer.ExpectQuiet(100);
    EXPECT_FALSE(d.FWWRITENAME(10, "X") || d.FWWRITENAME(-1, "X"));
    EXPECT_TRUE(peer.WaitIdle(2000));
}

}  // namespace
}  // namespace kavri::test
