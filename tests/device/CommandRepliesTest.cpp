// Every command with one request and one reply, against a scripted controller: the bytes it
// sends, and how it judges each kind of reply.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "device/DeviceOnPeer.h"

namespace kavri::test {
namespace {

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
        {"FWFILTER", ".", [&] { return !filterAfter(9) && d.currentFilter == -1; }},
        {"FWFILTER", "", [&] { return !filterAfter(9) && d.currentFilter == -1; }},
        // The count sizes the table from the image; anything but "1" to ":" leaves it.
        {"FWCOUNT", "0", [&] { return !d.FWCOUNT() && d.filters.empty(); }},
        {"FWCOUNT", ";", [&] { return !d.FWCOUNT() && d.filters.empty(); }},
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
        {"FWfocus", "\x11\x13", [&] { return d.GetPosition(i) && i == 0x1311; }},
        {"FWfocus", "\x18", [&] { return !d.GetPosition(i) && d.focuserPosition == 0x1311; }},
        // Any answer at all takes the new position; the one kept is the 16-bit value sent.
        {"FWsetFocus\xFB\xFF", "x", [&] { return d.SetPosition(-5) && d.focuserPosition == -5; }},
        {"FWsetFocus\x70\x11", "\x00"s,
         [&] { return d.SetPosition(70000) && d.focuserPosition == 4464; }},
        {"FWsetFocus\x01\x00"s, "", [&] { return !d.SetPosition(1) && d.focuserPosition == 4464; }},
        {"FWdirFocus", "+", [&] { return d.FWdirFocus(i) && i == 1; }},
        {"FWdirFocus", "-", [&] { return d.FWdirFocus(i) && i == -1; }},
        {"FWdirFocus", "0", [&] { return !d.FWdirFocus(i) && i == -1; }},
        // Hundredths of a degree, scaled in single precision: 2345 is 23.449999f.
        {"FWtemperature2", "\x29\x09",
         [&] { return d.FWtemperature(2, t) && t == 23.449999f && d.temperatures[2] == t; }},
        {"FWtemperature0", "\x0A\x0D",
         [&] { return d.FWtemperature(0, t) && near(d.temperatures[0], 33.38f); }},
        {"FWtemperature1", "\x18\xFC", [&] { return d.FWtemperature(1, t) && near(t, -10); }},
        // No reading, or a short one: the cache keeps its value.
        {"FWtemperature2", "\x00\x80"s,
         [&] { return !d.FWtemperature(2, t) && d.temperatures[2] == 23.449999f; }},
        {"FWtemperature2", "\x29",
         [&] { return !d.FWtemperature(2, t) && d.temperatures[2] == 23.449999f; }},
        // Thermometers beyond the cache are read but not kept.
        {"FWtemperature5", "\x64\x00"s, [&] { return d.FWtemperature(5, t) && near(t, 1); }},
        {"FWtemperature/", "\xC8\x00"s,
         [&] { return d.FWtemperature(-1, t) && near(t, 2) && d.temperatures[3] == 0; }},
        // "/" is compensation off: the preferred thermometer stays as chosen before.
        {"FWisAuto", "/",
         [&] { return d.FWisAuto(i) && i == -1 && d.settings.AscomPreferredTermometer == 1; }},
        {"FWisAuto", "2",
         [&] { return d.FWisAuto(i) && i == 2 && d.settings.AscomPreferredTermometer == 2; }},
        {"FWisAuto", "", [&] { return !d.FWisAuto(i) && i == 2; }},
        {"FWautoCompSet/", "!", [&] { return d.FWautoCompSet(-1); }},
        {"FWautoCompSet3", "?", [&] { return !d.FWautoCompSet(3); }},
        {"FWautoCompSet0", "", [&] { return !d.FWautoCompSet(0); }},
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
