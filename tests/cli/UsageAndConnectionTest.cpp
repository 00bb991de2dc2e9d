// Bad command lines, help, the port choice, a missing controller, the settings the run must
// leave alone, and the diagnostic streams.

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/KavrictlFixture.h"
#include "persist/RegistryFileStore.h"
#include "persist/RegistrySettings.h"
#include "support/FileSizeLimit.h"

namespace kavri::test {
namespace {

namespace fs = std::filesystem;

class UsageAndConnectionTest : public KavrictlTest {
protected:
    std::string RegistryPath() const { return ConfigDir() + "/kavri/registry.reg"; }

    // Every COM number maps to a device that does not exist, except those linked here.
    void MapPorts(const std::map<int, std::string>& devices) {
        fs::create_directories(ConfigDir() + "/kavri/ports");
        for (int n = 1; n <= 16; ++n) {
            const auto it = devices.find(n);
            fs::create_symlink(it == devices.end() ? File("absent-tty") : it->second,
                               ConfigDir() + "/kavri/ports/com" + std::to_string(n));
        }
    }

    void StoreSetting(const std::string& name, const SettingsValue& value) {
        RegistryFileStore store(RegistryPath());
        ASSERT_TRUE(store.SetValue(DriverKey, name, value));
        ASSERT_TRUE(store.Flush());
    }

    SettingsValue StoredSetting(const std::string& name) {
        RegistryFileStore store(RegistryPath());
        SettingsValue value;
        EXPECT_TRUE(store.QueryValue(DriverKey, name, value)) << name;
        return value;
    }
};

TEST_F(UsageAndConnectionTest, BadCommandLinesExitTwoWithOneLineAndTheUsage) {
    const std::vector<std::vector<std::string>> lines = {
        {},
        {"bogus"},
        {"status", "extra"},
        {"--frobnicate", "status"},
        {"-x", "status"},
        {"goto"},
        {"rename", "1"},
        {"rename", "10", "L"},
        {"--port", "COM17", "status"},
        {"--port", "0", "status"},
        {"-p"},
        {"--json=yes", "status"},
        {"filter-edit", "1"},
        {"filter-edit", "1", "--correction", "40000"},
        {"filter-edit", "1", "--focus-shift", "nothing"},
        {"status", "--count", "3"},
        {"log-temps", "--count", "0"},
        {"log-temps", "--count", "-2"},
    };
    for (const auto& line : lines) {
        const CliResult result = RunBare(line);
        std::ostringstream shown;
        for (const auto& arg : line) shown << arg << ' ';
        EXPECT_EQ(result.status, 2) << shown.str();
        EXPECT_EQ(result.out, "") << shown.str();
        const std::string first = result.FirstErrorLine();
        EXPECT_EQ(first.rfind("kavrictl: ", 0), 0u) << shown.str() << result.err;
        EXPECT_EQ(result.err.substr(first.size() + 1, 15), "usage: kavrictl") << shown.str();
    }
    // Refused before the device was built: the settings were not even touched.
    EXPECT_FALSE(fs::exists(RegistryPath()));
}

TEST_F(UsageAndConnectionTest, JsonUsageErrorsPrintTheErrorObject) {
    const CliResult result = RunBare({"--json", "bogus"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(Json(result), nlohmann::json({{"error", "unknown command 'bogus'"}}));
}

TEST_F(UsageAndConnectionTest, HelpIsAManualAndVersionALine) {
    const CliResult help = RunBare({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* section : {"NAME", "SYNOPSIS", "OPTIONS", "COMMANDS", "EXIT STATUS",
                                "ENVIRONMENT", "FILES", "EXAMPLES", "log-temps [--count N]"}) {
        EXPECT_NE(help.out.find(section), std::string::npos) << section;
    }
    const CliResult version = RunBare({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("kavrictl ", 0), 0u);
}

TEST_F(UsageAndConnectionTest, AMissingControllerExitsThreeOnceThePortsAreTried) {
    MapPorts({});
    const CliResult search = RunBare({"--port", "auto", "status"});
    EXPECT_EQ(search.status, 3);
    EXPECT_EQ(search.err, "kavrictl: no controller found on any of COM1..COM16\n");
    EXPECT_EQ(search.out, "");

    const CliResult one = RunBare({"--json", "-p", "com3", "filters"});
    EXPECT_EQ(one.status, 3);
    EXPECT_NE(Json(one)["error"].get<std::string>().find("no controller found on COM3"),
              std::string::npos);

    // Without --port the stored ComPort decides, and only that port is tried.
    StoreSetting("ComPort", SettingsValue::Dword(4));
    const CliResult stored = RunBare({"-v", "position"});
    EXPECT_EQ(stored.status, 3);
    EXPECT_NE(stored.err.find("trying COM4"), std::string::npos) << stored.err;
    EXPECT_EQ(stored.err.find("trying COM3"), std::string::npos) << stored.err;
}

TEST_F(UsageAndConnectionTest, ThePortMapFindsTheControllerByNumberAndBySearch) {
    StartEmulator();
    MapPorts({{5, Emulator().SlavePath()}});
    EXPECT_EQ(Json(RunBare({"--json", "--port", "5", "status"}))["port"], "COM5");
    EXPECT_EQ(Json(RunBare({"--json", "--port", "auto", "status"}))["port"], "COM5");

    const auto ports = Json(RunBare({"--json", "ports"}))["ports"];
    ASSERT_EQ(ports.size(), 16u);
    EXPECT_EQ(ports[4]["port"], "COM5");
    EXPECT_EQ(ports[4]["linked"], true);
    EXPECT_EQ(ports[4]["exists"], true);
    EXPECT_EQ(ports[4]["device"], Emulator().SlavePath());
    EXPECT_EQ(ports[0]["exists"], false);
}

TEST_F(UsageAndConnectionTest, PortAndLogGivenOnTheCommandLineLeaveTheStoredSettings) {
    StartEmulator();
    StoreSetting("ComPort", SettingsValue::Dword(7));
    StoreSetting("LogFile", SettingsValue::String(""));
    const std::string log = File("run.log");

    const CliResult result = Run({"--log", log, "goto", "3"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(StoredSetting("ComPort").data, SettingsValue::Dword(7).data);
    EXPECT_EQ(StoredSetting("LogFile").data, SettingsValue::String("").data);

    std::ifstream file(log, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("OK Goto(0->3)"), std::string::npos) << text;
}

// A log asked for that cannot be had stops the run before the command; one that fills up
// during the run makes it fail. A FIFO is refused at once instead of holding the port.
TEST_F(UsageAndConnectionTest, ALogFileThatCannotBeWrittenFailsTheRun) {
    StartEmulator();
    const std::string fifo = File("fifo.log");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(File("plain")) << "x";
    for (const std::string& log :
         {File("plain") + "/below-a-file.log", fifo, std::string("/dev/full")}) {
        SCOPED_TRACE(log);
        const CliResult result = Run({"--log", log, "move", "100"});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "kavrictl: cannot open the log file " + log + " as a regular file\n");
    }
    EXPECT_EQ(Emulator().CommandCount("FWgoFocus"), 0);

    // The disk fills after the first line.
    const CliResult full = [&] {
        const FileSizeLimit diskFull(60);
        return Run({"--log", File("full.log"), "goto", "3"});
    }();
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.FirstErrorLine(),
              "kavrictl: could not write all of the log file " + File("full.log"));
    EXPECT_EQ(Emulator().CurrentFilter(), 3);
}

// Output that does not reach standard output is a failure.
TEST_F(UsageAndConnectionTest, LostStandardOutputExitsOne) {
    StartEmulator();
    const struct {
        const char* stdoutTo;
        const char* error;
    } cases[] = {
        {"/dev/full", "kavrictl: cannot write standard output: No space left on device\n"},
        {"closed", "kavrictl: cannot write standard output: Bad file descriptor\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stdoutTo);
        CliOptions options = Options();
        options.stdoutTo = c.stdoutTo;
        const CliResult result = Run({"status"}, options);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, c.error);
    }
}

TEST_F(UsageAndConnectionTest, TraceShowsTheBytesAndVerboseTheDiagnosticLines) {
    StartEmulator();
    const CliResult quiet = Run({"goto", "1"});
    EXPECT_EQ(quiet.err, "");

    const CliResult trace = Run({"--trace", "goto", "2"});
    EXPECT_EQ(trace.status, 0);
    EXPECT_NE(trace.err.find(">> 46 57 46 49 4C 54 45 52  |FWFILTER|"), std::string::npos)
        << trace.err;
    EXPECT_NE(trace.err.find("<< 32"), std::string::npos) << trace.err;
    EXPECT_EQ(trace.err.find("OK Goto"), std::string::npos);
    EXPECT_EQ(trace.err.find('\r'), std::string::npos);

    const CliResult verbose = Run({"-v", "goto", "3"});
    EXPECT_NE(verbose.err.find("OK Goto(2->3)"), std::string::npos) << verbose.err;
    EXPECT_EQ(verbose.err.find(">>"), std::string::npos);
}

}  // namespace
}  // namespace kavri::test
