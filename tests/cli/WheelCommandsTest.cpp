// status, filters, goto, home, rename and filter-edit against the emulated controller.

#include "cli/KavrictlFixture.h"
#include "sim/ImageLayout.h"

namespace kavri::test {
namespace {

using sim::Image;

class WheelCommandsTest : public KavrictlTest {
protected:
    void SetUp() override { StartEmulator(); }
};

TEST_F(WheelCommandsTest, StatusReportsPresenceFilterPositionAndTemperatures) {
    Emulator().SetCurrentFilter(3);
    Emulator().SetFocuserPosition(-1234);
    Emulator().SetTemperature(0, -325);
    Emulator().SetTemperature(1, 1207);
    Emulator().SetCompensationThermometer(1);

    const CliResult text = Run({"status"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("filter            3 (B)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("focuser position  -1234"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("-3.25"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("12.07"), std::string::npos) << text.out;
    EXPECT_EQ(text.err, "");

    const CliResult json = Run({"--json", "status"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto value = Json(json);
    EXPECT_EQ(value["port"], Emulator().SlavePath());
    EXPECT_EQ(value["wheelPresent"], true);
    EXPECT_EQ(value["focuserPresent"], true);
    EXPECT_EQ(value["currentFilter"], 3);
    EXPECT_EQ(value["currentFilterName"], "B");
    EXPECT_EQ(value["focuserPosition"], -1234);
    EXPECT_EQ(value["temperatures"], nlohmann::json({-3.25, 12.07}));
    EXPECT_EQ(value["compensationThermometer"], 1);
}

TEST_F(WheelCommandsTest, StatusOfAWheelOnlyControllerLeavesOutTheFocuser) {
    sim::EmulatorOptions options;
    options.wheelOnly = true;
    StartEmulator(options);
    const auto value = Json(Run({"--json", "status"}));
    EXPECT_EQ(value["wheelPresent"], true);
    EXPECT_EQ(value["focuserPresent"], false);
    EXPECT_FALSE(value.contains("focuserPosition"));
}

TEST_F(WheelCommandsTest, FiltersShowsTheTableWithNoneForLargeFocusShifts) {
    Image image = Emulator().GetImage();
    sim::WriteU16(image, sim::offset::kFilterFocuserPositions + 2 * 2, 20000);
    sim::WriteU16(image, sim::offset::kFilterFocuserPositions + 2 * 3, 10000);
    sim::SetFilterName(image, 4, "Halpha12");
    Emulator().SetImage(image);

    const CliResult text = Run({"filters"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find(" 2  G"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("none"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("10000"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Halpha12"), std::string::npos) << text.out;

    const auto value = Json(Run({"--json", "filters"}));
    ASSERT_EQ(value["filters"].size(), 5u);
    EXPECT_TRUE(value["filters"][2]["focuserPosition"].is_null());
    EXPECT_EQ(value["filters"][3]["focuserPosition"], 10000);
    EXPECT_EQ(value["filters"][4]["name"], "Halpha12");
    EXPECT_EQ(value["filters"][1]["wheelPosition"],
              sim::ReadI16(image, sim::offset::kFilterWheelPositions + 2));
}

TEST_F(WheelCommandsTest, GotoSelectsByIndexAndByNameRegardlessOfCase) {
    const CliResult byIndex = Run({"goto", "2"});
    EXPECT_EQ(byIndex.status, 0) << byIndex.err;
    EXPECT_EQ(byIndex.out, "filter 2 (G) selected\n");
    EXPECT_EQ(Emulator().CurrentFilter(), 2);

    const auto value = Json(Run({"--json", "goto", "hA"}));
    EXPECT_EQ(value["currentFilter"], 4);
    EXPECT_EQ(value["name"], "Ha");
    EXPECT_EQ(Emulator().CurrentFilter(), 4);
}

TEST_F(WheelCommandsTest, GotoRefusesWhatTheTableDoesNotHaveWithoutTurningTheWheel) {
    for (const char* target : {"5", "-1", "Oiii"}) {
        const CliResult result = Run({"goto", target});
        EXPECT_EQ(result.status, 2) << target;
        EXPECT_EQ(result.FirstErrorLine().rfind("kavrictl: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find("usage:"), std::string::npos);
    }
    EXPECT_EQ(Emulator().CommandCount("FWGOTO"), 0);
}

TEST_F(WheelCommandsTest, GotoThatTheWheelAnswersWithFailureExitsOne) {
    Emulator().AddFault(sim::Fault{sim::FaultKind::kGotoFail, "FWGOTO"});
    const CliResult result = Run({"goto", "1"});
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    EXPECT_NE(result.err.find("did not reach filter 1 (R)"), std::string::npos) << result.err;
}

TEST_F(WheelCommandsTest, HomeAndRename) {
    Emulator().SetCurrentFilter(3);
    const CliResult home = Run({"home"});
    EXPECT_EQ(home.status, 0) << home.err;
    EXPECT_EQ(Emulator().CommandCount("FWHOME"), 1);

    const CliResult rename = Run({"rename", "1", "Red"});
    EXPECT_EQ(rename.status, 0) << rename.err;
    EXPECT_EQ(sim::FilterName(Emulator().GetImage(), 1), "Red");

    const CliResult tooLong = Run({"rename", "1", "Hydrogen9"});
    EXPECT_EQ(tooLong.status, 2);
    EXPECT_EQ(sim::FilterName(Emulator().GetImage(), 1), "Red");
}

TEST_F(WheelCommandsTest, FilterEditWritesTheRowAndReselectsTheCurrentFilter) {
    Emulator().SetCurrentFilter(1);
    const CliResult result =
        Run({"--json", "filter-edit", "1", "--correction", "-7", "--focus-shift", "none"});
    ASSERT_EQ(result.status, 0) << result.err;
    const Image image = Emulator().GetImage();
    EXPECT_EQ(sim::ReadI16(image, sim::offset::kFilterWheelPositions + 2), -7);
    EXPECT_EQ(sim::ReadI16(image, sim::offset::kFilterFocuserPositions + 2), 20000);
    EXPECT_EQ(Emulator().CommandCount("FWGOTO"), 1);  // the new position takes effect
    const auto value = Json(result);
    EXPECT_TRUE(value["focuserPosition"].is_null());
    EXPECT_EQ(value["wheelPosition"], -7);

    // Another row: only the table is written.
    EXPECT_EQ(Run({"filter-edit=3", "--focus-shift=55"}).status, 2);  // not an option
    EXPECT_EQ(Run({"filter-edit", "3", "--focus-shift=55"}).status, 0);
    EXPECT_EQ(sim::ReadI16(Emulator().GetImage(), sim::offset::kFilterFocuserPositions + 6), 55);
    EXPECT_EQ(Emulator().CommandCount("FWGOTO"), 1);
}

}  // namespace
}  // namespace kavri::test
