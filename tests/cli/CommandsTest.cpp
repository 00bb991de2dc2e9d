// SPDX-License-Identifier: GPL-3.0-or-later
// Every command that talks to the controller, against the emulated one: status, the wheel's
// filters, goto, home, rename and filter-edit; the focuser's position, move, step, sync, temps
// and compensation, and what a controller without focuser refuses; config, microsteps, save and
// load; the temperature log; and names as the controller and .fws files hold them
// (windows-1251) on their way to and from the terminal, control characters included.

#include <ctime>
#include <filesystem>
#include <fstream>

#include "cli/KavrictlFixture.h"
#include "persist/SettingsFileFormat.h"
#include "sim/ImageLayout.h"

namespace kavri::test {
namespace {

namespace fs = std::filesystem;
using sim::Image;

const std::string kRedStored = "\xCA\xF0\xE0\xF1\xED\xFB\xE9";  // "Красный" in windows-1251
const std::string kRed = "Красный";

class CommandsTest : public KavrictlTest {
protected:
    void SetUp() override { StartEmulator(); }
};

TEST_F(CommandsTest, StatusReportsPresenceFilterPositionAndTemperatures) {
    Emulator().SetCurrentFilter(3);
    Emulator().SetFocuserPosition(-1234);
    Emulator().SetTemperature(0, -325);
    Emulator().SetTemperature(1, 1207);
    Emulator().SetCompensationThermometer(1);

    const CliResult text = Run({"status"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("filter            3 (B)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("focuser position  -1234"), std::string::npos) << text.out;
    EXPECT_EQ(text.err, "");

    const auto value = Json(Run({"--json", "status"}));
    EXPECT_EQ(value["port"], Emulator().SlavePath());
    EXPECT_EQ(value["wheelPresent"], true);
    EXPECT_EQ(value["focuserPresent"], true);
    EXPECT_EQ(value["currentFilter"], 3);
    EXPECT_EQ(value["currentFilterName"], "B");
    EXPECT_EQ(value["focuserPosition"], -1234);
    EXPECT_EQ(value["temperatures"], nlohmann::json({-3.25, 12.07}));
    EXPECT_EQ(value["compensationThermometer"], 1);
}

TEST_F(CommandsTest, FiltersShowsTheTableDecodedWithNoneForLargeFocusShifts) {
    Image image = Emulator().GetImage();
    sim::WriteU16(image, sim::offset::kFilterFocuserPositions + 2 * 2, 20000);
    sim::WriteU16(image, sim::offset::kFilterFocuserPositions + 2 * 3, 10000);
    sim::WriteU16(image, sim::offset::kFilterWheelPositions + 2 * 1, static_cast<uint16_t>(-77));
    sim::SetFilterName(image, 1, kRedStored);
    sim::SetFilterName(image, 2, "\x1b[2J\r\n");  // control characters are shown escaped
    sim::SetFilterName(image, 4, "Halpha12");
    Emulator().SetImage(image);
    Emulator().SetCurrentFilter(2);

    const CliResult text = Run({"filters"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find(" 1  " + kRed + " "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("*2  \\u001b[2J\\r\\n "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("none"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("current filter: 2 (\\u001b[2J\\r\\n)\n"), std::string::npos);
    EXPECT_EQ(text.out.find('\x1b'), std::string::npos);

    const auto value = Json(Run({"--json", "filters"}));
    ASSERT_EQ(value["filters"].size(), 5u);
    EXPECT_EQ(value["filters"][1]["name"], kRed);
    EXPECT_EQ(value["filters"][1]["wheelPosition"], -77);
    EXPECT_EQ(value["filters"][2]["name"], "\x1b[2J\r\n");
    EXPECT_TRUE(value["filters"][2]["focuserPosition"].is_null());
    EXPECT_EQ(value["filters"][3]["focuserPosition"], 10000);
    EXPECT_EQ(value["filters"][4]["name"], "Halpha12");

    // A name typed in any case finds the row.
    const CliResult selected = Run({"goto", "кРАСНЫЙ"});
    EXPECT_EQ(selected.status, 0) << selected.err;
    EXPECT_EQ(selected.out, "filter 1 (" + kRed + ") selected\n");
    EXPECT_EQ(Emulator().CurrentFilter(), 1);
}

TEST_F(CommandsTest, HomeAndGotoByIndexOrNameButNotWhatTheTableDoesNotHave) {
    EXPECT_EQ(Run({"home"}).status, 0);
    EXPECT_EQ(Emulator().CommandCount("FWHOME"), 1);
    const CliResult byIndex = Run({"goto", "2"});
    EXPECT_EQ(byIndex.status, 0) << byIndex.err;
    EXPECT_EQ(byIndex.out, "filter 2 (G) selected\n");
    EXPECT_EQ(Emulator().CurrentFilter(), 2);

    const auto value = Json(Run({"--json", "goto", "hA"}));
    EXPECT_EQ(value["currentFilter"], 4);
    EXPECT_EQ(value["name"], "Ha");
    EXPECT_EQ(Emulator().CurrentFilter(), 4);

    for (const char* target : {"5", "-1", "Oiii"}) {
        const CliResult result = Run({"goto", target});
        EXPECT_EQ(result.status, 2) << target;
        EXPECT_NE(result.err.find("\nusage: kavrictl"), std::string::npos) << result.err;
    }
    EXPECT_EQ(Emulator().CommandCount("FWGOTO"), 2);
}

TEST_F(CommandsTest, FilterEditWritesTheRowAndReselectsTheCurrentFilter) {
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
    EXPECT_EQ(Run({"filter-edit", "3", "--focus-shift=55"}).status, 0);
    EXPECT_EQ(sim::ReadI16(Emulator().GetImage(), sim::offset::kFilterFocuserPositions + 6), 55);
    EXPECT_EQ(Emulator().CommandCount("FWGOTO"), 1);
}

TEST_F(CommandsTest, AControllerWithoutFocuserRefusesTheFocuserCommands) {
    sim::EmulatorOptions options;
    options.wheelOnly = true;
    StartEmulator(options);
    const auto value = Json(Run({"--json", "status"}));
    EXPECT_EQ(value["wheelPresent"], true);
    EXPECT_EQ(value["focuserPresent"], false);
    EXPECT_FALSE(value.contains("focuserPosition"));
    for (const char* command : {"position", "temps", "compensation", "microsteps", "log-temps"}) {
        const CliResult result = Run({command});
        EXPECT_EQ(result.status, 1) << command;
        EXPECT_EQ(result.err, "kavrictl: the controller has no focuser\n") << command;
    }
    EXPECT_FALSE(fs::exists(DataDir() + "/kavri"));  // no temperature log
}

TEST_F(CommandsTest, MoveStepSyncAndPositionMoveTheFocuserWithinItsRange) {
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
    EXPECT_EQ(Json(Run({"--json", "position"}))["focuserPosition"], -32768);

    // A step that would leave the range is refused before the move.
    Emulator().SetFocuserPosition(32760);
    result = Run({"step", "10"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.FirstErrorLine().find("would end at 32770"), std::string::npos) << result.err;
    EXPECT_EQ(Emulator().CommandCount("FWgoFocus"), 2);  // the move and the step above
    EXPECT_EQ(Emulator().FocuserPosition(), 32760);
}

TEST_F(CommandsTest, TempsReadsEveryThermometerWithTwoDecimals) {
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

TEST_F(CommandsTest, CompensationShowsChoosesAndSwitchesOff) {
    EXPECT_EQ(Run({"compensation"}).out, "compensation: off\n");
    CliResult result = Run({"compensation", "1"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Emulator().CompensationThermometer(), 1);
    EXPECT_EQ(Json(Run({"--json", "compensation"}))["compensationThermometer"], 1);
    // Two thermometers: the controller refuses the third.
    result = Run({"compensation", "2"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "kavrictl: compensation on T2: the controller did not accept the compensation "
              "thermometer\n");
    EXPECT_EQ(Emulator().CompensationThermometer(), 1);
    EXPECT_EQ(Run({"compensation", "off"}).status, 0);
    EXPECT_EQ(Emulator().CompensationThermometer(), -1);
}

TEST_F(CommandsTest, ConfigShowsTheImageByFieldNameAndChangesOnlyTheNamedFields) {
    sim::Image image = Emulator().GetImage();
    sim::WriteU16(image, sim::offset::kThermoCompStepsPerDegree, static_cast<uint16_t>(-12));
    sim::WriteU16(image, sim::offset::kWheelSpeed, 40000);
    sim::WriteU16(image, sim::offset::kFocuserBacklash, 17);
    Emulator().SetImage(image);

    const auto all = Json(Run({"--json", "config"}));
    EXPECT_EQ(all.size(), 15u);
    EXPECT_EQ(all["thermoCompStepsPerDegree"], -12);
    EXPECT_EQ(all["wheelSpeed"], 40000);
    EXPECT_EQ(all["focuserBacklash"], 17);

    const CliResult some = Run({"config", "focuserBacklash", "filterCount"});
    EXPECT_EQ(some.status, 0) << some.err;
    EXPECT_EQ(some.out, "focuserBacklash  17\nfilterCount       5\n");

    // Assignments change only the named fields and are read back.
    const CliResult result = Run({"--json", "config", "focuserSpeed=250",
                                  "thermoCompStepsPerDegree=-40", "focuserIdlePower=255"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto value = Json(result);
    EXPECT_EQ(value["focuserSpeed"], 250);
    EXPECT_EQ(value["thermoCompStepsPerDegree"], -40);

    sim::Image expected = image;
    sim::WriteU16(expected, sim::offset::kFocuserSpeed, 250);
    sim::WriteU16(expected, sim::offset::kThermoCompStepsPerDegree, static_cast<uint16_t>(-40));
    expected[sim::offset::kFocuserIdlePower] = 255;
    EXPECT_EQ(Emulator().GetImage(), expected);
    EXPECT_EQ(Emulator().CommandCount("FWwriteEE"), 1);
}

TEST_F(CommandsTest, MicrostepsShowsAndSendsExactlyTheTablesLength) {
    const std::vector<uint8_t> table = Emulator().MicrostepTable();
    ASSERT_FALSE(table.empty());
    const auto shown = Json(Run({"--json", "microsteps"}));
    EXPECT_EQ(shown["microstepCount"], table.size());
    EXPECT_EQ(shown["microstepTable"], nlohmann::json(table));

    std::vector<std::string> args{"microsteps"};
    std::vector<uint8_t> sent;
    for (size_t i = 0; i < table.size(); ++i) {
        sent.push_back(static_cast<uint8_t>(255 - i));
        args.push_back(std::to_string(sent.back()));
    }
    const CliResult result = Run(args);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Emulator().MicrostepTable(), sent);

    args.pop_back();
    const CliResult shortList = Run(args);
    EXPECT_EQ(shortList.status, 2);
    EXPECT_NE(shortList.FirstErrorLine().find(std::to_string(table.size()) + " entries"),
              std::string::npos);
    EXPECT_EQ(Emulator().CommandCount("FWym"), 1);
}

// A save that cannot be made fails and leaves a write-protected file alone; loaded settings
// and a compensation thermometer that cannot be stored are a failure, not a success.
TEST_F(CommandsTest, SaveAndLoadFailWhereTheirFilesCannotBeWritten) {
    std::ofstream(File("plain")) << "x";
    fs::permissions(File("plain"), fs::perms::owner_read);
    const CliResult protectedFile = Run({"save", File("plain")});
    EXPECT_EQ(protectedFile.status, 1);
    EXPECT_NE(protectedFile.FirstErrorLine().find("read-only"), std::string::npos);
    EXPECT_EQ(ReadFileText(File("plain")), "x");

    const std::string file = File("night.fws");
    ASSERT_EQ(Run({"save", file}).status, 0);
    fs::remove_all(ConfigDir());
    fs::create_directories(ConfigDir());
    std::ofstream(ConfigDir() + "/kavri") << "a file where the settings folder belongs";
    const CliResult load = Run({"load", file});
    EXPECT_EQ(load.status, 1);
    EXPECT_EQ(load.out, "");
    EXPECT_EQ(load.FirstErrorLine(), "kavrictl: the controller took the image of " + file +
                                         ", but cannot save the program's settings to " +
                                         ConfigDir() + "/kavri/registry.reg");
    // The thermometer chosen for compensation is a setting too.
    const CliResult compensation = Run({"compensation", "1"});
    EXPECT_EQ(compensation.status, 1);
    EXPECT_EQ(compensation.FirstErrorLine(),
              "kavrictl: compensation is on T1, but cannot save the program's settings to " +
                  ConfigDir() + "/kavri/registry.reg");
}

TEST_F(CommandsTest, LogTempsWritesTheAskedRowsAndSaysWhereTheFileIs) {
    Emulator().SetTemperature(0, -325);
    Emulator().SetFocuserPosition(1200);
    sim::Image image = Emulator().GetImage();
    sim::SetFilterName(image, 0, kRedStored);
    Emulator().SetImage(image);
    Emulator().SetCurrentFilter(0);
    // The day's file is named after the local date (either side of a midnight the run spans).
    const auto fileOfToday = [this] {
        const std::time_t now = std::time(nullptr);
        std::tm parts{};
        char name[32];
        std::strftime(name, sizeof name, "term_log_%Y-%m-%d.csv", localtime_r(&now, &parts));
        return (fs::path(DataDir()) / "kavri" / name).string();
    };
    const std::string before = fileOfToday();
    const CliResult result = Run({"log-temps", "--count", "1"});
    const std::string after = fileOfToday();
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string prefix = "1 row written to ";
    const size_t at = result.out.find(prefix);
    ASSERT_NE(at, std::string::npos) << result.out;
    const std::string file =
        result.out.substr(at + prefix.size(), result.out.size() - at - prefix.size() - 1);
    EXPECT_TRUE(file == before || file == after) << file;
    EXPECT_NE(result.out.find(",1200,Красный\n"), std::string::npos) << result.out;

    // The file keeps the name as the Windows software writes it.
    const std::string text = ReadFileText(file);
    EXPECT_EQ(text.rfind("Time,T0,T1,Focus,Filter\r\n", 0), 0u) << text;
    EXPECT_NE(text.find(",-3.25,"), std::string::npos) << text;
    EXPECT_NE(text.find(",1200," + kRedStored + "\r\n"), std::string::npos) << text;
}

// A day's file that cannot be written ends a counted run all the same, with the reason.
TEST_F(CommandsTest, LogTempsFailsWhenItsRowsCannotBeWritten) {
    std::ofstream(DataDir()) << "a file where the data folder belongs";
    const CliResult result = Run({"log-temps", "--count", "1"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("kavrictl: no row written to " + DataDir() + "/kavri/term_log_"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find(".csv: Not a directory\n"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("kavrictl: no row could be written to "), std::string::npos);
    EXPECT_NE(result.out.find("0 rows written to "), std::string::npos) << result.out;
}

TEST_F(CommandsTest, LogTempsEndsCleanlyOnAnInterrupt) {
    CliOptions options;
    options.interruptAfter = "until interrupted";
    const CliResult result = Run({"log-temps"}, options);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("logging to " + DataDir() + "/kavri/term_log_"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("0 rows written to "), std::string::npos) << result.out;
    // The device was still destroyed normally and saved its settings.
    EXPECT_TRUE(fs::exists(ConfigDir() + "/kavri/registry.reg"));
}

// Typed names are stored in the code page; eight Cyrillic letters fill a slot exactly. (Names
// the code page or the slot cannot hold: UsageAndConnectionTest.)
TEST_F(CommandsTest, TypedNamesAreStoredInTheCodePage) {
    const CliResult renamed = Run({"rename", "2", kRed});
    ASSERT_EQ(renamed.status, 0) << renamed.err;
    EXPECT_EQ(renamed.out, "filter 2 renamed to '" + kRed + "'\n");
    const sim::Image image = Emulator().GetImage();
    const auto* slot = &image[sim::offset::kFilterNames + 2 * sim::kNameLength];
    EXPECT_EQ(std::string(slot, slot + 8), kRedStored + '\0');

    ASSERT_EQ(Run({"rename", "3", "Фиолетов"}).status, 0);
    EXPECT_EQ(sim::FilterName(Emulator().GetImage(), 3), "\xD4\xE8\xEE\xEB\xE5\xF2\xEE\xE2");
}

// A settings file's names reach the controller and the terminal decoded, are kept in the
// program's settings, and a save writes the same file again, byte for byte.
TEST_F(CommandsTest, SettingsFilesCarryTheNamesBothWays) {
    SettingsFileContents contents;
    sim::Image image = Emulator().GetImage();
    sim::SetFilterName(image, 1, kRedStored);
    std::copy(image.begin(), image.end(), contents.config.data());
    contents.TermometerName[1] = "\xD2\xF0\xF3\xE1\xE0";  // "Труба"
    const std::vector<uint8_t> bytes = FormatSettingsFile(contents);
    const std::string file(bytes.begin(), bytes.end());
    WriteFileText(File("tube.fws"), file);
    ASSERT_EQ(Run({"load", File("tube.fws")}).status, 0);
    EXPECT_EQ(sim::FilterName(Emulator().GetImage(), 1), kRedStored);

    const CliResult text = Run({"temps"});
    EXPECT_NE(text.out.find("T1"), std::string::npos);
    EXPECT_NE(text.out.find("Труба\n"), std::string::npos) << text.out;
    EXPECT_EQ(Json(Run({"--json", "temps"}))["TermometerName"][1], "Труба");

    ASSERT_EQ(Run({"save", File("again.fws")}).status, 0);
    EXPECT_EQ(ReadFileText(File("again.fws")), file);
}

}  // namespace
}  // namespace kavri::test
