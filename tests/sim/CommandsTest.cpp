// SPDX-License-Identifier: GPL-3.0-or-later
// Every keyword's reply and state change, in fast mode, byte for byte on the line.
#include <gtest/gtest.h>

#include "HostLine.h"
#include "sim/Keywords.h"

namespace kavri::sim::test {
namespace {

// 16-bit values as they travel, and filter names padded to their 8 bytes.
std::string Le16s(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) bytes += Le16(value);
    return bytes;
}

std::string Names(std::initializer_list<std::string> names) {
    std::string slots;
    for (std::string name : names) slots += name.append(8 - name.size(), '\0');
    return slots;
}

// One conversation through every command, each change shown by the replies that follow.
TEST(SimCommands, EveryKeywordAnswersAndKeepsItsState) {
    SimRig rig;
    rig.emulator.SetTemperature(0, 2345);
    rig.emulator.SetTemperature(1, -150);
    Image image = rig.emulator.GetImage();
    // clang-format off
    RunSteps(rig.line, {
        // The factory image: 5 filters, wheel speed 200, half step, focuser speed 100,
        // idle power 51, 4 microsteps, backlash 20, 2 thermometers; then the filters' wheel
        // corrections, focus offsets and names; a read past the end is cut there.
        {ReadEE(0, 144), std::string(image.begin(), image.end())},
        {ReadEE(1, 15), "\x05" + Le16(200) + "\x01\x01\x01\x02" + Le16(100) + "\x33\x04" +
                        Le16(20) + "\0\x02"s},
        {ReadEE(22, 30), Le16s({0, 2, -3, 1, 4, 0, 0, 0, 0, 0, 0, 15, 10, 25, 40})},
        {ReadEE(62, 40), Names({"L", "R", "G", "B", "Ha"})}, {ReadEE(142, 16), Le16(120)},
        // Noise is dropped, a broken fragment does not swallow the next command, case matters,
        // and commands sent back to back are answered in order.
        {"xyzFWFWFILTER", "0"}, {"FWFOOFWCOUNT", "5"}, {"FWFOCUSFWgoFoFWCOUFWCOUNT", "5"},
        {"FWfocusFWgoFocus" + Le16(0), Le16(0) + "!"}, {"FWFILTERFWCOUNTFWisAuto", "05/"},
        // The wheel: 0 -> 3 of 5 goes backwards through 4; there is no slot 7 nor 10.
        {"FWGOTO3", "43"}, {"FWFILTER", "3"}, {"FWGOTO3", "3"}, {"FWGOTO7", "/"},
        {"FWFILTER", "3"}, {"FWHOME", "!"}, {"FWFILTER", "0"},
        {"FWWRITENAME2OIII\0\0\0\0"s, "!"}, {ReadEE(78, 8), "OIII\0\0\0\0"s},
        {"FWWRITENAME:ABCDEFGH", "?"},
        // The focuser: moves set the direction, a redefinition keeps it; a focus frame echoed
        // back by the host is taken whole and unanswered.
        {"FWfocus", Le16(0)}, {"FWdirFocus", "+"}, {"FWgoFocus" + Le16(1000), "!"},
        {"FWfocus", Le16(1000)}, {"FWgoFocus" + Le16(-1000), "!"}, {"FWdirFocus", "-"},
        {"FWsetFocus" + Le16(-5), "!"}, {"FWdirFocus", "-"},
        {"FWmoveFocus\x10\x27" "FWfocus", Le16(-5)},
        // Thermometers beyond the count of 2 have no reading; compensation by one of them.
        {"FWtemperature0", Le16(2345)}, {"FWtemperature1", Le16(-150)},
        {"FWtemperature2", Le16(-32768)}, {"FWtemperature/", Le16(-32768)},
        {"FWisAuto", "/"}, {"FWautoCompSet1", "!"}, {"FWisAuto", "1"}, {"FWautoCompSet2", "?"},
        {"FWisAuto", "1"}, {"FWautoCompSet/", "!"}, {"FWisAuto", "/"},
        // Step size 4 of 16, and the microstep table: a half sine of 16 levels.
        {"FWubStep\0"s, "\x04\x10"},
        {"FWzm", "\x10\x00\x32\x62\x8e\xb4\xd4\xec\xfa\xff\xfa\xec\xd4\xb4\x8e\x62\x32"s},
        {"FWym" + std::string(16, '\x40'), "!"}, {"FWzm", "\x10" + std::string(16, '\x40')}});
    EXPECT_EQ(rig.emulator.CommandCount("FWmoveFocus"), 1);

    // The whole image written at once; a block past its end is refused and stores nothing. A
    // smaller filter count takes effect at once and a filter beyond it is forgotten: the next
    // change finds home first.
    WriteU16(image, offset::kFocuserSpeed, 500);
    rig.emulator.SetCurrentFilter(4);
    RunSteps(rig.line, {
        {WriteEE(0, std::string(image.begin(), image.end())), "!"}, {ReadEE(8, 2), Le16(500)},
        {WriteEE(140, "12345678"), "?"}, {ReadEE(140, 4), "\0\0\x78\0"s},
        {WriteEE(1, "\x03"), "!"}, {"FWCOUNT", "3"}, {"FWFILTER", "/"},
        {"FWGOTO1", "1"}, {"FWFILTER", "1"}});
    // clang-format on
    EXPECT_TRUE(rig.line.ReadFor(100ms).empty());
}

// Every keyword is taken on its last byte, and no part of one waits for the inter-byte
// time-out: a keyword that did would be the prefix of another and delay its reply; a fragment
// taken on a time-out would be a command nobody sent.
TEST(SimCommands, EveryKeywordIsRecognisedOnItsLastByte) {
    for (const std::string& keyword : ProtocolKeywords()) {
        KeywordMatcher matcher;
        std::optional<KeywordMatcher::Match> match;
        for (char c : keyword) {
            EXPECT_FALSE(match || matcher.WaitingToExtend()) << keyword;
            match = matcher.Feed(static_cast<std::uint8_t>(c));
        }
        ASSERT_TRUE(match) << keyword;
        EXPECT_EQ(match->keyword, keyword);
    }
}

TEST(SimCommands, AStalledArgumentIsAbandonedAndCountersFollowTheLine) {
    SimRig rig;
    // A write of the image that stalls: after the argument time-out the command is dropped
    // without an answer, and the next command is understood.
    rig.line.Send("FWwriteEE\0\x90"s + "abc");
    EXPECT_TRUE(rig.line.ReadFor(800ms).empty());
    EXPECT_EQ(rig.line.Ask("FWFILTER", 1), "0");
    EXPECT_EQ(rig.emulator.GetImage(), DefaultImage());

    const std::uint64_t before = rig.emulator.BytesReceived();
    EXPECT_EQ(rig.line.Ask("FWfocus", 2).size(), 2u);
    EXPECT_EQ(rig.emulator.BytesReceived(), before + 7);
    // The host closes the port and opens it again: the emulator keeps serving.
    rig.line.Close();
    HostLine again(rig.emulator.SlavePath());
    EXPECT_EQ(again.Ask("FWCOUNT", 1), "5");
    EXPECT_EQ(rig.emulator.ReceivedKeywords(),
              (std::vector<std::string>{"FWwriteEE", "FWFILTER", "FWfocus", "FWCOUNT"}));
    EXPECT_TRUE(rig.emulator.WaitForCommands(4, 1000ms));
    EXPECT_FALSE(rig.emulator.WaitForCommands(5, 50ms));
}

TEST(SimCommands, OptionsShapeTheController) {
    for (bool wheelOnly : {true, false}) {
        SimRig rig(Fast([&](EmulatorOptions& o) {
            o.wheelOnly = wheelOnly;
            o.focuserOnly = !wheelOnly;
        }));
        // The missing mechanism stays silent; the configuration block always answers.
        RunSteps(rig.line, {{"FWFILTER", wheelOnly ? "0" : ""},
                            {"FWfocus", wheelOnly ? "" : Le16(0)},
                            {ReadEE(1, 1), "\x05"}});
    }
    {
        SimRig rig(Fast([](EmulatorOptions& o) {
            o.filters = 8;
            o.thermometers = 4;
        }));
        RunSteps(rig.line, {{"FWCOUNT", "8"}, {ReadEE(118, 8), Names({"Clear"})}});
        EXPECT_NE(rig.emulator.Temperature(3), -32768);
        EXPECT_EQ(rig.emulator.Temperature(4), -32768);
    }
    {
        // A filter change interleaves the controller's focus frame: filter 2 has its focus
        // at 10, and the focuser goes there.
        SimRig rig(Fast([](EmulatorOptions& o) { o.focusFrame = true; }));
        RunSteps(rig.line, {{"FWGOTO2", "1FWmoveFocus\x0a\x00"s + "2"}, {"FWfocus", Le16(10)}});
    }
    Emulator tooMany(Fast([](EmulatorOptions& o) { o.filters = 11; }));
    std::string error;
    EXPECT_FALSE(tooMany.Start(&error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace kavri::sim::test
