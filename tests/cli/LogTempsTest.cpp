// log-temps: the device's 5-second temperature log run until a row count or an interrupt.

#include <filesystem>
#include <fstream>

#include "cli/KavrictlFixture.h"
#include "sim/ImageLayout.h"

namespace kavri::test {
namespace {

namespace fs = std::filesystem;

class LogTempsTest : public KavrictlTest {};

TEST_F(LogTempsTest, WritesTheAskedRowsAndSaysWhereTheFileIs) {
    StartEmulator();
    Emulator().SetTemperature(0, -325);
    Emulator().SetFocuserPosition(1200);
    sim::Image image = Emulator().GetImage();
    sim::SetFilterName(image, 0, "\xCA\xF0\xE0\xF1\xED\xFB\xE9");  // "Красный", windows-1251
    Emulator().SetImage(image);
    Emulator().SetCurrentFilter(0);
    const CliResult result = Run({"log-temps", "--count", "1"});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string prefix = "1 row written to ";
    const size_t at = result.out.find(prefix);
    ASSERT_NE(at, std::string::npos) << result.out;
    const std::string file =
        result.out.substr(at + prefix.size(), result.out.size() - at - prefix.size() - 1);
    EXPECT_EQ(fs::path(file).parent_path(), fs::path(DataDir()) / "kavri");
    EXPECT_NE(result.out.find(",1200,Красный\n"), std::string::npos) << result.out;

    // The file keeps the name as the Windows software writes it.
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.rfind("Time,T0,T1,Focus,Filter\r\n", 0), 0u) << text;
    EXPECT_NE(text.find(",-3.25,"), std::string::npos) << text;
    EXPECT_NE(text.find(",1200,\xCA\xF0\xE0\xF1\xED\xFB\xE9\r\n"), std::string::npos) << text;
}

// A day's file that cannot be written ends a counted run all the same, with the reason.
TEST_F(LogTempsTest, RowsThatCannotBeWrittenAreReportedAndFailTheRun) {
    StartEmulator();
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
