// Every keyword's reply and state change, in fast mode, with raw bytes on the line.
#include <gtest/gtest.h>

#include <memory>

#include "HostLine.h"
#include "sim/Emulator.h"

namespace kavri::sim::test {
namespace {

int Le16(const Bytes& b) {
    return static_cast<std::int16_t>(b.at(0) | (b.at(1) << 8));
}

class SimCommands : public ::testing::Test {
protected:
    void Open(EmulatorOptions options = {}) {
        options.fast = true;
        emulator = std::make_unique<Emulator>(options);
        std::string error;
        ASSERT_TRUE(emulator->Start(&error)) << error;
        line = std::make_unique<HostLine>(emulator->SlavePath());
        ASSERT_TRUE(line->IsOpen());
    }
    void SetUp() override { Open(); }

    std::unique_ptr<Emulator> emulator;
    std::unique_ptr<HostLine> line;
};

TEST_F(SimCommands, WheelQueriesAndDefaultImage) {
    EXPECT_EQ(line->Ask("FWFILTER", 1), B("0"));
    EXPECT_EQ(line->Ask("FWCOUNT", 1), B("5"));
    Bytes image = line->Ask(std::string("FWreadEE") + '\0' + '\x90', 144);
    ASSERT_EQ(image.size(), 144u);
    EXPECT_EQ(image[1], 5);                       // filters
    EXPECT_EQ(image[5], 1);                       // half step
    EXPECT_EQ(image[8] | (image[9] << 8), 100);   // focuser speed
    EXPECT_EQ(image[12] | (image[13] << 8), 20);  // backlash
    EXPECT_EQ(image[15], 2);                      // thermometers
    const char* names[] = {"L", "R", "G", "B", "Ha"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[62 + 8 * i])), names[i]);
    }
    // A slice of the image, and a request that runs past its end is cut at the end.
    EXPECT_EQ(line->Ask(std::string("FWreadEE") + '\x01' + '\x01', 1), Bytes{5});
    EXPECT_EQ(line->Ask(std::string("FWreadEE") + '\x8e' + '\x10', 16, 300ms).size(), 2u);
}

TEST_F(SimCommands, GotoHomeAndWriteName) {
    // From 0 to 3 of 5 the short way is backwards through 4.
    EXPECT_EQ(line->Ask("FWGOTO3", 2), B("43"));
    EXPECT_EQ(emulator->CurrentFilter(), 3);
    EXPECT_EQ(line->Ask("FWFILTER", 1), B("3"));
    EXPECT_EQ(line->Ask("FWGOTO3", 1), B("3"));  // already there: answered at once
    EXPECT_EQ(line->Ask("FWGOTO7", 1), B("/"));  // no such slot
    EXPECT_EQ(emulator->CurrentFilter(), 3);
    EXPECT_EQ(line->Ask("FWHOME", 1), B("!"));
    EXPECT_EQ(emulator->CurrentFilter(), 0);

    emulator->SetCurrentFilter(-1);
    EXPECT_EQ(line->Ask("FWFILTER", 1), B("/"));
    EXPECT_EQ(line->Ask("FWGOTO1", 2, 500ms), B("1"));  // finds home first, then slot 1

    EXPECT_EQ(line->Ask(std::string("FWWRITENAME2") + "OIII" + std::string(4, '\0'), 1), B("!"));
    EXPECT_EQ(FilterName(emulator->GetImage(), 2), "OIII");
    EXPECT_EQ(line->Ask("FWWRITENAME:ABCDEFGH", 1), B("?"));  // slot 10 does not exist
}

TEST_F(SimCommands, FocuserPositionMovesAndDirection) {
    EXPECT_EQ(Le16(line->Ask("FWfocus", 2)), 0);
    EXPECT_EQ(line->Ask("FWdirFocus", 1), B("+"));
    EXPECT_EQ(line->Ask("FWgoFocus\xe8\x03", 1), B("!"));  // 1000
    EXPECT_EQ(Le16(line->Ask("FWfocus", 2)), 1000);
    EXPECT_EQ(line->Ask("FWgoFocus\x18\xfc", 1), B("!"));  // -1000
    EXPECT_EQ(emulator->FocuserPosition(), -1000);
    EXPECT_EQ(line->Ask("FWdirFocus", 1), B("-"));
    EXPECT_EQ(line->Ask("FWsetFocus\xfb\xff", 1), B("!"));  // redefine as -5, nothing moves
    EXPECT_EQ(Le16(line->Ask("FWfocus", 2)), -5);
    EXPECT_EQ(emulator->Direction(), -1);
}

TEST_F(SimCommands, ThermometersAndCompensation) {
    emulator->SetTemperature(0, 2345);
    emulator->SetTemperature(1, -150);
    EXPECT_EQ(Le16(line->Ask("FWtemperature0", 2)), 2345);
    EXPECT_EQ(Le16(line->Ask("FWtemperature1", 2)), -150);
    EXPECT_EQ(Le16(line->Ask("FWtemperature2", 2)), -32768);  // beyond the count of 2
    EXPECT_EQ(Le16(line->Ask("FWtemperature/", 2)), -32768);

    EXPECT_EQ(line->Ask("FWisAuto", 1), B("/"));
    EXPECT_EQ(line->Ask("FWautoCompSet1", 1), B("!"));
    EXPECT_EQ(line->Ask("FWisAuto", 1), B("1"));
    EXPECT_EQ(line->Ask("FWautoCompSet3", 1), B("?"));  // no third thermometer
    EXPECT_EQ(emulator->CompensationThermometer(), 1);
    EXPECT_EQ(line->Ask("FWautoCompSet/", 1), B("!"));
    EXPECT_EQ(emulator->CompensationThermometer(), -1);
}

TEST_F(SimCommands, StepSizeAndMicrostepTable) {
    EXPECT_EQ(line->Ask(std::string("FWubStep") + '\0', 2), (Bytes{4, 16}));
    Bytes table = line->Ask("FWzm", 17);
    ASSERT_EQ(table.size(), 17u);
    EXPECT_EQ(table[0], 16);
    EXPECT_EQ(table[1], 0);
    EXPECT_EQ(table[9], 255);                // the peak of the half sine
    EXPECT_EQ(table[1 + 4], table[1 + 12]);  // symmetric about the middle

    Bytes edited(16, 0x40);
    Bytes frame = B("FWym");
    frame.insert(frame.end(), edited.begin(), edited.end());
    line->Send(frame);
    EXPECT_EQ(line->Read(1), B("!"));
    EXPECT_EQ(emulator->MicrostepTable(), edited);
}

TEST_F(SimCommands, WriteEEStoresTheBlockAndRefusesOverruns) {
    Image image = emulator->GetImage();
    image[8] = 0xF4;  // focuser speed 500
    image[9] = 0x01;
    Bytes frame = B("FWwriteEE");
    frame.push_back(0);
    frame.push_back(144);
    frame.insert(frame.end(), image.begin(), image.end());
    line->Send(frame);
    EXPECT_EQ(line->Read(1), B("!"));
    EXPECT_EQ(emulator->GetImage(), image);

    Bytes overrun = B("FWwriteEE");
    overrun.insert(overrun.end(), {140, 8, 1, 2, 3, 4, 5, 6, 7, 8});
    line->Send(overrun);
    EXPECT_EQ(line->Read(1), B("?"));
    EXPECT_EQ(emulator->GetImage(), image);

    // A smaller filter count takes effect at once and a filter beyond it is forgotten.
    emulator->SetCurrentFilter(4);
    Bytes count = B("FWwriteEE");
    count.insert(count.end(), {1, 1, 3});
    line->Send(count);
    EXPECT_EQ(line->Read(1), B("!"));
    EXPECT_EQ(line->Ask("FWCOUNT", 1), B("3"));
    EXPECT_EQ(emulator->CurrentFilter(), -1);
}

TEST_F(SimCommands, StrayBytesAreDroppedAndTheStreamResynchronises) {
    EXPECT_EQ(line->Ask("xyzFWFWFILTER", 1), B("0"));
    EXPECT_EQ(line->Ask("FWFOOFWCOUNT", 1), B("5"));
    EXPECT_TRUE(line->ReadFor(100ms).empty());  // nothing for the noise itself
    // Commands sent back to back are answered in order.
    line->Send("FWFILTERFWCOUNTFWisAuto");
    EXPECT_EQ(line->Read(3), B("05/"));
    EXPECT_GE(emulator->CommandCount("FWFILTER"), 2);
    // A focus frame echoed back by the host is taken whole, unanswered, and changes nothing.
    EXPECT_EQ(line->Ask(std::string("FWmoveFocus\x10\x27") + "FWfocus", 2), (Bytes{0, 0}));
    EXPECT_EQ(emulator->CommandCount("FWmoveFocus"), 1);
}

TEST_F(SimCommands, IncompleteArgumentsAreAbandoned) {
    // A write of the image that stalls: after the argument time-out the command is dropped
    // without an answer, and the next command is understood.
    line->Send(std::string("FWwriteEE") + '\0' + '\x90' + "abc");
    EXPECT_TRUE(line->ReadFor(800ms).empty());
    EXPECT_EQ(line->Ask("FWFILTER", 1), B("0"));
    EXPECT_EQ(emulator->GetImage(), DefaultImage());
}

TEST_F(SimCommands, CountersAndClosedLine) {
    const std::uint64_t before = emulator->BytesReceived();
    EXPECT_EQ(line->Ask("FWfocus", 2).size(), 2u);
    EXPECT_EQ(emulator->BytesReceived(), before + 7);
    // The host closes the port and opens it again: the emulator keeps serving.
    line.reset();
    line = std::make_unique<HostLine>(emulator->SlavePath());
    EXPECT_EQ(line->Ask("FWCOUNT", 1), B("5"));
    EXPECT_EQ(emulator->ReceivedKeywords(), (std::vector<std::string>{"FWfocus", "FWCOUNT"}));
    EXPECT_TRUE(emulator->WaitForCommands(2, 1000ms));
    EXPECT_FALSE(emulator->WaitForCommands(3, 50ms));
}

TEST(SimCommandVariants, MissingMechanismStaysSilent) {
    for (bool wheelOnly : {true, false}) {
        EmulatorOptions options;
        options.fast = true;
        options.wheelOnly = wheelOnly;
        options.focuserOnly = !wheelOnly;
        Emulator emulator(options);
        ASSERT_TRUE(emulator.Start());
        HostLine line(emulator.SlavePath());
        EXPECT_EQ(line.Ask("FWFILTER", 1, 300ms).size(), wheelOnly ? 1u : 0u);
        EXPECT_EQ(line.Ask("FWfocus", 2, 300ms).size(), wheelOnly ? 0u : 2u);
        // The configuration block belongs to the controller and always answers.
        EXPECT_EQ(line.Ask(std::string("FWreadEE") + '\0' + '\x02', 2).size(), 2u);
    }
}

TEST(SimCommandVariants, FilterAndThermometerCounts) {
    EmulatorOptions options;
    options.fast = true;
    options.filters = 8;
    options.thermometers = 4;
    Emulator emulator(options);
    ASSERT_TRUE(emulator.Start());
    HostLine line(emulator.SlavePath());
    EXPECT_EQ(line.Ask("FWCOUNT", 1), B("8"));
    EXPECT_EQ(FilterName(emulator.GetImage(), 7), "Clear");
    EXPECT_EQ(line.Ask("FWtemperature3", 2).size(), 2u);
    EXPECT_NE(emulator.Temperature(3), -32768);
    EXPECT_EQ(emulator.Temperature(4), -32768);

    options.filters = 11;
    Emulator tooMany(options);
    std::string error;
    EXPECT_FALSE(tooMany.Start(&error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace kavri::sim::test
