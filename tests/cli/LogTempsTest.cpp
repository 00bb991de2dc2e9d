// log-temps: the device's 5-second temperature log run until a row count or an interrupt.

#include <filesystem>
#include <fstream>

#include "cli/KavrictlFixture.h"

namespace kavri::test {
namespace {

namespace fs = std::filesystem;

class LogTempsTest : public KavrictlTest {};

TEST_F(LogTempsTest, WritesTheAskedRowsAndSaysWhereTheFileIs) {
    StartEmulator();
    Emulator().SetTemperature(0, -325);
    Emulator().SetFocuserPosition(1200);
    const CliResult result = Run({"--json", "log-temps", "--count", "1"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto value = Json(result);
    EXPECT_EQ(value["rows"], 1);
    const std::string file = value["file"];
    EXPECT_EQ(fs::path(file).parent_path(), fs::path(DataDir()) / "kavri");

    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.rfind("Time,T0,T1,Focus,Filter\r\n", 0), 0u) << text;
    EXPECT_NE(text.find(",-3.25,"), std::string::npos) << text;
    EXPECT_NE(text.find(",1200,L\r\n"), std::string::npos) << text;
}

TEST_F(LogTempsTest, AnInterruptEndsTheLogCleanly) {
    StartEmulator();
    CliOptions options = Options();
    options.interruptAfter = "until interrupted";
    const CliResult result = Run({"log-temps"}, options);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("logging to " + DataDir() + "/kavri/term_log_"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("0 rows written to "), std::string::npos) << result.out;
    // The device was still destroyed normally and saved its settings.
    EXPECT_TRUE(fs::exists(ConfigDir() + "/kavri/registry.reg"));
}

TEST_F(LogTempsTest, AControllerWithoutFocuserHasNoTemperatureLog) {
    sim::EmulatorOptions options;
    options.wheelOnly = true;
    StartEmulator(options);
    const CliResult result = Run({"log-temps", "--count", "1"});
    EXPECT_EQ(result.status, 1);
    EXPECT_FALSE(fs::exists(DataDir() + "/kavri"));
}

}  // namespace
}  // namespace kavri::test
