// config, microsteps, save and load against the emulated controller.

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "cli/KavrictlFixture.h"
#include "sim/ImageLayout.h"

namespace kavri::test {
namespace {

class ConfigCommandsTest : public KavrictlTest {
protected:
    void SetUp() override { StartEmulator(); }
};

TEST_F(ConfigCommandsTest, ConfigShowsTheImageByFieldName) {
    sim::Image image = Emulator().GetImage();
    sim::WriteU16(image, sim::offset::kThermoCompStepsPerDegree, static_cast<uint16_t>(-12));
    sim::WriteU16(image, sim::offset::kWheelSpeed, 40000);
    Emulator().SetImage(image);

    const auto all = Json(Run({"--json", "config"}));
    EXPECT_EQ(all.size(), 15u);
    EXPECT_EQ(all["thermoCompStepsPerDegree"], -12);
    EXPECT_EQ(all["wheelSpeed"], 40000);
    EXPECT_EQ(all["focuserSpeed"], sim::ReadU16(image, sim::offset::kFocuserSpeed));

    const CliResult some = Run({"config", "focuserBacklash", "filterCount"});
    EXPECT_EQ(some.status, 0) << some.err;
    EXPECT_EQ(some.out, "focuserBacklash  " + std::to_string(sim::ReadU16(image, 12)) +
                            "\nfilterCount       5\n");
}

TEST_F(ConfigCommandsTest, AssignmentsChangeOnlyTheNamedFieldsAndAreReadBack) {
    const sim::Image before = Emulator().GetImage();
    const CliResult result =
        Run({"--json", "config", "focuserSpeed=250", "thermoCompStepsPerDegree=-40"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto value = Json(result);
    EXPECT_EQ(value["focuserSpeed"], 250);
    EXPECT_EQ(value["thermoCompStepsPerDegree"], -40);

    sim::Image expected = before;
    sim::WriteU16(expected, sim::offset::kFocuserSpeed, 250);
    sim::WriteU16(expected, sim::offset::kThermoCompStepsPerDegree, static_cast<uint16_t>(-40));
    EXPECT_EQ(Emulator().GetImage(), expected);
    EXPECT_EQ(Emulator().CommandCount("FWwriteEE"), 1);
}

TEST_F(ConfigCommandsTest, FieldsAndValuesTheImageCannotHoldAreRefused) {
    const std::vector<std::vector<std::string>> lines = {
        {"config", "speed=10"},           {"config", "focuserIdlePower=256"},
        {"config", "wheelSpeed=-1"},      {"config", "thermoCompStepsPerDegree=32768"},
        {"config", "filterCount=0"},      {"config", "filterCount=11"},
        {"config", "thermometerCount=9"}, {"config", "focuserSpeed=fast"},
        {"config", "focuserSpeed="},      {"config", "focuserSpeed=1", "focuserSpeed=2"},
    };
    for (const auto& line : lines) {
        const CliResult result = Run(line);
        EXPECT_EQ(result.status, 2) << line.back();
        EXPECT_EQ(result.FirstErrorLine().rfind("kavrictl: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find("\nusage:"), std::string::npos) << line.back();
    }
    EXPECT_EQ(Emulator().BytesReceived(), 0u);
}

TEST_F(ConfigCommandsTest, AnUnacknowledgedWriteExitsOne) {
    Emulator().AddFault(sim::Fault{sim::FaultKind::kWriteEENak, "FWwriteEE"});
    const sim::Image before = Emulator().GetImage();
    const CliResult result = Run({"config", "focuserSpeed=250"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "kavrictl: the controller did not accept the configuration\n");
    EXPECT_EQ(Emulator().GetImage(), before);
}

TEST_F(ConfigCommandsTest, MicrostepsShowsAndSendsExactlyTheTablesLength) {
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
    EXPECT_EQ(Run({"microsteps", "1", "256"}).status, 2);
    EXPECT_EQ(Emulator().CommandCount("FWym"), 1);
}

TEST_F(ConfigCommandsTest, SaveThenLoadPutsTheImageBack) {
    sim::Image original = Emulator().GetImage();
    sim::SetFilterName(original, 1, "\xCA\xF0\xE0\xF1\xED\xFB\xE9");  // "Красный", windows-1251
    Emulator().SetImage(original);
    const std::string file = File("night.fws");
    const CliResult save = Run({"save", file});
    ASSERT_EQ(save.status, 0) << save.err;
    EXPECT_GE(std::filesystem::file_size(file), 184u);

    ASSERT_EQ(Run({"config", "focuserSpeed=333"}).status, 0);
    ASSERT_NE(Emulator().GetImage(), original);

    const CliResult load = Run({"load", file});
    EXPECT_EQ(load.status, 0) << load.err;
    EXPECT_EQ(Emulator().GetImage(), original);
}

// Anything that is no settings file is refused before the controller is touched, with the
// reason (every reason: SettingsFileTest); nothing blocks on a FIFO.
TEST_F(ConfigCommandsTest, LoadRefusesWhatIsNoSettingsFileBeforeConnecting) {
    std::ofstream(File("README.md"))
        << std::string(40, '#') + "\n\nKavri Control\n" + std::string(400, 'x');
    ASSERT_EQ(mkfifo(File("pipe.fws").c_str(), 0600), 0);
    for (const auto& [path, error] :
         {std::pair{File("README.md"), ": not a settings file: filterCount 35"},
          std::pair{File("pipe.fws"), ": not a regular file"}}) {
        const CliResult result = Run({"load", path});
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.FirstErrorLine(), "kavrictl: " + path + error);
    }
    EXPECT_EQ(Emulator().BytesReceived(), 0u);

    EXPECT_EQ(Run({"save", File("README.md/below-a-file.fws")}).status, 1);
    // A write-protected file is left alone, and the message says why.
    const auto size = std::filesystem::file_size(File("README.md"));
    std::filesystem::permissions(File("README.md"), std::filesystem::perms::owner_read);
    const CliResult protectedFile = Run({"save", File("README.md")});
    EXPECT_EQ(protectedFile.status, 1);
    EXPECT_NE(protectedFile.FirstErrorLine().find("read-only"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(File("README.md")), size);
}

// The loaded settings that cannot be saved are a failure, not "settings loaded".
TEST_F(ConfigCommandsTest, LoadFailsWhenTheSettingsCannotBeSaved) {
    const std::string file = File("night.fws");
    ASSERT_EQ(Run({"save", file}).status, 0);
    std::filesystem::remove_all(ConfigDir());
    std::filesystem::create_directories(ConfigDir());
    std::ofstream(ConfigDir() + "/kavri") << "a file where the settings folder belongs";
    const CliResult load = Run({"load", file});
    EXPECT_EQ(load.status, 1);
    EXPECT_EQ(load.out, "");
    EXPECT_EQ(load.FirstErrorLine(), "kavrictl: the controller took the image of " + file +
                                         ", but cannot save the program's settings to " +
                                         ConfigDir() + "/kavri/registry.reg");
}

}  // namespace
}  // namespace kavri::test
