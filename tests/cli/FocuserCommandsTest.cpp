// position, move, step, sync, temps and compensation against the emulated controller.

#include "cli/KavrictlFixture.h"
#include "sim/ImageLayout.h"

namespace kavri::test {
namespace {

class FocuserCommandsTest : public KavrictlTest {
protected:
    void SetUp() override { StartEmulator(); }
};

TEST_F(FocuserCommandsTest, MoveStepSyncAndPositionMoveTheFocuser) {
    CliResult result = Run({"move", "1500"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "focuser position 1500\n");
    EXPECT_EQ(Emulator().FocuserPosition(), 1500);

    result = Run({"step", "-3"});  // MinMotorStep is 1 by default
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Emulator().FocuserPosition(), 1497);

    result = Run({"sync", "-32768"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Emulator().FocuserPosition(), -32768);

    const auto value = Json(Run({"--json", "position"}));
    EXPECT_EQ(value["focuserPosition"], -32768);
}

TEST_F(FocuserCommandsTest, PositionsOutsideSixteenBitsAreRefusedBeforeAnythingIsSent) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"move", "32768"},
                                               {"move", "-32769"},
                                               {"sync", "99999999999"},
                                               {"move", "1500q"},
                                               {"sync", "1500q"},
                                               {"move", ""},
                                               {"step", "70000"}}) {
        const CliResult result = Run(args);
        EXPECT_EQ(result.status, 2) << args[0] << " " << args[1];
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("\nusage: kavrictl"), std::string::npos) << result.err;
    }
    EXPECT_EQ(Emulator().BytesReceived(), 0u);
}

TEST_F(FocuserCommandsTest, StepThatWouldLeaveTheRangeIsRefusedBeforeTheMove) {
    Emulator().SetFocuserPosition(32760);
    const CliResult result = Run({"step", "10"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.FirstErrorLine().find("would end at 32770"), std::string::npos) << result.err;
    EXPECT_EQ(Emulator().CommandCount("FWgoFocus"), 0);
    EXPECT_EQ(Emulator().FocuserPosition(), 32760);
}

TEST_F(FocuserCommandsTest, AMoveWithoutTheFinalAcknowledgementExitsOne) {
    Emulator().AddFault(sim::Fault{sim::FaultKind::kSilent, "FWgoFocus", 1});
    const CliResult result = Run({"--json", "move", "10"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(Json(result)["error"], "the focuser did not finish the move to 10 in time");
}

TEST_F(FocuserCommandsTest, TempsReadsEveryThermometerWithTwoDecimals) {
    sim::Image image = Emulator().GetImage();
    image[sim::offset::kThermometerCount] = 3;
    Emulator().SetImage(image);
    Emulator().SetTemperature(0, -1050);
    Emulator().SetTemperature(1, 7);
    Emulator().SetTemperature(2, -32768);  // no reading

    const CliResult text = Run({"temps"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, "T0  -10.50\nT1    0.07\nT2     ---\n");

    const auto value = Json(Run({"--json", "temps"}));
    EXPECT_EQ(value["thermometerCount"], 3);
    EXPECT_EQ(value["temperatures"], nlohmann::json({-10.5, 0.07, nullptr}));
}

TEST_F(FocuserCommandsTest, CompensationShowsChoosesAndSwitchesOff) {
    EXPECT_EQ(Run({"compensation"}).out, "compensation: off\n");
    CliResult result = Run({"compensation", "1"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Emulator().CompensationThermometer(), 1);
    EXPECT_EQ(Json(Run({"--json", "compensation"}))["compensationThermometer"], 1);
    // Two thermometers: the controller refuses the third.
    result = Run({"compensation", "2"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "kavrictl: the controller refused compensation on T2\n");
    EXPECT_EQ(Emulator().CompensationThermometer(), 1);
    EXPECT_EQ(Run({"compensation", "off"}).status, 0);
    EXPECT_EQ(Emulator().CompensationThermometer(), -1);
    EXPECT_EQ(Run({"compensation", "4"}).status, 2);
}

TEST_F(FocuserCommandsTest, FocuserCommandsOnAControllerWithoutFocuserExitOne) {
    sim::EmulatorOptions options;
    options.wheelOnly = true;
    StartEmulator(options);
    for (const char* command : {"position", "temps", "compensation", "microsteps"}) {
        const CliResult result = Run({command});
        EXPECT_EQ(result.status, 1) << command;
        EXPECT_EQ(result.err, "kavrictl: the controller has no focuser\n");
    }
}

}  // namespace
}  // namespace kavri::test
