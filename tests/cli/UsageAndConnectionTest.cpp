// SPDX-License-Identifier: GPL-3.0-or-later
// Bad command lines, the port choice, a missing or failing controller, the settings the run
// must leave alone, and the output and diagnostic streams.

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <map>
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
};

// Exit status 2 with one line saying what is wrong and then the usage, before the controller
// or the settings are touched: malformed lines, and values no controller could take.
TEST_F(UsageAndConnectionTest, BadLinesExitTwoBeforeAnythingIsSent) {
    StartEmulator();
    std::ofstream(File("README.md"))
        << std::string(40, '#') + "\n\nKavri Control\n" + std::string(400, 'x');
    ASSERT_EQ(mkfifo(File("pipe.fws").c_str(), 0600), 0);
    // Malformed lines; names the code page or a slot cannot hold; positions outside the
    // controller's 16 bits and text that is no number; fields and values the image cannot hold;
    // bad calibrate arguments, though --apply would connect.
    // clang-format off
    std::vector<std::string> lines = {
        "bogus", "--port COM17 status", "log-temps --count 0",
        "rename 10 L", "rename 1 Hydrogen9",
        "filter-edit 1", "filter-edit 1 --correction 40000", "filter-edit 1 --focus-shift nothing",
        "move 32768", "move -32769", "sync 99999999999", "move 1500q", "sync 1500q", "step 70000",
        "compensation 4", "microsteps 1 256",
        "config speed=10", "config focuserIdlePower=256", "config wheelSpeed=-1",
        "config thermoCompStepsPerDegree=32768", "config filterCount=0", "config filterCount=11",
        "config thermometerCount=9", "config focuserSpeed=fast", "config focuserSpeed=",
        "config focuserSpeed=1 focuserSpeed=2",
        "calibrate --apply --thermometer 8", "calibrate --apply --thermometer one",
        "calibrate --apply --since 2024-02-30", "calibrate --apply /missing.csv",
        "calibrate --apply /", "calibrate --apply=yes"};
    // clang-format on
    // The reasons where the user most needs them (every reason of a file: SettingsFileTest).
    const std::string zurich =
        "holds 'ü', which the controller's character set (windows-1251) lacks";
    const std::map<std::string, std::string> reasons = {
        {"rename 3 Фиолетовый", "filter name 'Фиолетовый' is longer than 8 characters"},
        {"rename 3 Zürich", "filter name 'Zürich' " + zurich},
        {"goto Zürich", "filter name 'Zürich' " + zurich},
        {"rename 3 a\x1b[2J", "filter name 'a\\u001b[2J' holds a control character"},
        {"calibrate --force", "--force goes with --apply"},
        {"load " + File("README.md"), File("README.md") + ": not a settings file: filterCount 35"},
        {"load " + File("pipe.fws"), File("pipe.fws") + ": not a regular file"}};
    for (const auto& [line, reason] : reasons) lines.push_back(line);
    for (const auto& line : lines) {
        SCOPED_TRACE(line);
        std::istringstream words(line);
        const CliResult result = Run({std::istream_iterator<std::string>(words), {}});
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        const std::string first = result.FirstErrorLine();
        EXPECT_EQ(first.rfind("kavrictl: ", 0), 0u) << result.err;
        if (const auto it = reasons.find(line); it != reasons.end()) {
            EXPECT_EQ(first, "kavrictl: " + it->second);
        }
        EXPECT_EQ(result.err.substr(first.size() + 1, 15), "usage: kavrictl") << result.err;
    }
    EXPECT_EQ(Emulator().BytesReceived(), 0u);
    EXPECT_FALSE(fs::exists(RegistryPath()));
    // With --json the reason is the error object.
    const CliResult json = RunBare({"--json", "bogus"});
    EXPECT_EQ(json.status, 2);
    EXPECT_EQ(Json(json), nlohmann::json({{"error", "unknown command 'bogus'"}}));
}

TEST_F(UsageAndConnectionTest, HelpIsAManualAndVersionALine) {
    const CliResult help = RunBare({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("EXIT STATUS"), std::string::npos) << help.out;
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

    // A port that exists but cannot be used says why.
    std::ofstream(File("plain")) << "not a port";
    const CliResult plain = RunBare({"--port", File("plain"), "status"});
    EXPECT_EQ(plain.status, 3);
    EXPECT_EQ(plain.err, "kavrictl: no controller found on " + File("plain") +
                             ": not a serial port (not a terminal device)\n");

    // Without --port the stored ComPort decides, and only that port is tried.
    StoreSetting("ComPort", SettingsValue::Dword(4));
    const CliResult stored = RunBare({"-v", "position"});
    EXPECT_EQ(stored.status, 3);
    EXPECT_NE(stored.err.find("trying COM4"), std::string::npos) << stored.err;
    EXPECT_EQ(stored.err.find("trying COM3"), std::string::npos) << stored.err;
}

TEST_F(UsageAndConnectionTest, ThePortMapFindsTheControllerByNumberAndBySearch) {
    StartEmulator();
    std::ofstream(File("plain")) << "not a port";
    MapPorts({{5, Emulator().SlavePath()}, {6, File("plain")}});
    EXPECT_EQ(Json(RunBare({"--json", "--port", "5", "status"}))["port"], "COM5");
    EXPECT_EQ(Json(RunBare({"--json", "--port", "auto", "status"}))["port"], "COM5");

    const auto ports = Json(RunBare({"--json", "ports"}))["ports"];
    ASSERT_EQ(ports.size(), 16u);
    EXPECT_EQ(ports[4], nlohmann::json({{"port", "COM5"},
                                        {"number", 5},
                                        {"device", Emulator().SlavePath()},
                                        {"linked", true},
                                        {"exists", true},
                                        {"usable", true},
                                        {"status", "usable"}}));
    EXPECT_EQ(ports[0]["status"], "absent");
    EXPECT_EQ(ports[5]["exists"], true);  // only terminals are usable
    EXPECT_EQ(ports[5]["usable"], false);
    EXPECT_EQ(ports[5]["status"], "not a serial port (not a terminal device)");
}

// A controller that refuses, answers wrongly or not in time: exit status 1 with the reason.
TEST_F(UsageAndConnectionTest, AControllerFaultExitsOneWithTheReason) {
    using sim::FaultKind;
    const struct {
        sim::Fault fault;
        std::vector<std::string> line;
        std::string error;  // the first line of standard error, or its start
    } cases[] = {
        {{FaultKind::kHangUp, "FWgoFocus"},
         {"move", "1000"},
         "move to 1000: the line was hung up on "},
        {{FaultKind::kSilent, "FWgoFocus", 1},
         {"move", "10"},
         "move to 10: the focuser did not report the end of the move in time"},
        {{FaultKind::kGotoFail, "FWGOTO"},
         {"goto", "1"},
         "filter 1 (R): the wheel reported a failure; its position is unknown"},
        {{FaultKind::kWriteEENak, "FWwriteEE"},
         {"config", "focuserSpeed=250"},
         "the controller did not accept the configuration"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.front());
        StartEmulator();
        Emulator().AddFault(c.fault);
        const sim::Image before = Emulator().GetImage();
        const CliResult result = Run(c.line);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.FirstErrorLine().find(c.error), std::string::npos) << result.err;
        EXPECT_EQ(Emulator().GetImage(), before);
    }
}

// Output that does not reach standard output is a failure.
TEST_F(UsageAndConnectionTest, LostStandardOutputExitsOne) {
    StartEmulator();
    const std::pair<const char*, const char*> cases[] = {
        {"/dev/full", "No space left on device"},
        {"closed", "Bad file descriptor"},
    };
    for (const auto& [stdoutTo, reason] : cases) {
        SCOPED_TRACE(stdoutTo);
        CliOptions options;
        options.stdoutTo = stdoutTo;
        const CliResult result = Run({"status"}, options);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err,
                  std::string("kavrictl: cannot write standard output: ") + reason + "\n");
    }
}

// The diagnostic streams: quiet by default, bytes with --trace, log lines with -v (what the
// settings store could not read among them) or in the --log file; --port and --log are for
// that run only, the stored settings stay. A log asked for that cannot be had stops the run
// before the command (a FIFO at once instead of holding the port); one that fills up during
// the run makes it fail.
TEST_F(UsageAndConnectionTest, DiagnosticStreamsAndLogFilesLeaveTheStoredSettings) {
    StartEmulator();
    StoreSetting("ComPort", SettingsValue::Dword(7));
    EXPECT_EQ(Run({"goto", "1"}).err, "");
    const CliResult trace = Run({"--trace", "goto", "2"});
    EXPECT_EQ(trace.status, 0);
    EXPECT_NE(trace.err.find(">> 46 57 46 49 4C 54 45 52  |FWFILTER|"), std::string::npos)
        << trace.err;
    EXPECT_NE(trace.err.find("<< 32"), std::string::npos) << trace.err;
    EXPECT_EQ(trace.err.find("OK Goto"), std::string::npos);
    EXPECT_EQ(trace.err.find('\r'), std::string::npos);
    std::ofstream(RegistryPath(), std::ios::app) << "nonsense\r\n";  // told among the lines
    const CliResult verbose = Run({"-v", "goto", "3"});
    EXPECT_NE(verbose.err.find("OK Goto(2->3)"), std::string::npos) << verbose.err;
    EXPECT_NE(verbose.err.find(" not understood, kept as it is: nonsense"), std::string::npos);
    EXPECT_EQ(verbose.err.find(">>"), std::string::npos);

    ASSERT_EQ(Run({"--log", File("run.log"), "goto", "4"}).status, 0);
    EXPECT_NE(ReadFileText(File("run.log")).find("OK Goto(3->4)"), std::string::npos);

    ASSERT_EQ(mkfifo(File("fifo.log").c_str(), 0600), 0);
    std::ofstream(File("plain")) << "x";
    for (const std::string& log :
         {File("plain") + "/below.log", File("fifo.log"), std::string("/dev/full")}) {
        SCOPED_TRACE(log);
        const CliResult result = Run({"--log", log, "move", "100"});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "kavrictl: cannot open the log file " + log + " as a regular file\n");
    }
    EXPECT_EQ(Emulator().CommandCount("FWgoFocus"), 0);

    const CliResult full = [&] {
        const FileSizeLimit diskFull(60);  // the disk fills after the first line
        return Run({"--log", File("full.log"), "goto", "3"});
    }();
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.FirstErrorLine(),
              "kavrictl: could not write all of the log file " + File("full.log"));
    EXPECT_EQ(Emulator().CurrentFilter(), 3);
    const std::string stored = ReadFileText(RegistryPath());
    EXPECT_NE(stored.find("\"ComPort\"=dword:00000007"), std::string::npos) << stored;
    EXPECT_NE(stored.find("\"LogFile\"=\"\""), std::string::npos) << stored;
}

// kavrictl saves only what it changed itself: values another program stores while it runs stay
// through both of its saves (the compensation thermometer at once, the settings at exit).
TEST_F(UsageAndConnectionTest, ValuesOtherProgramsStoreDuringARunStay) {
    StartEmulator();
    // The image comes slowly: the other program stores after kavrictl read the settings.
    Emulator().AddFault(sim::ParseFault("pause,ms=3,cmd=FWreadEE", nullptr).value());
    auto run = std::async(std::launch::async, [this] { return Run({"compensation", "1"}); });
    while (Emulator().CommandCount("FWreadEE") == 0 &&
           run.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
    }
    StoreSetting("MinMotorStep", SettingsValue::Dword(25));
    ASSERT_EQ(Emulator().CommandCount("FWautoCompSet"), 0) << "stored too late to tell";
    ASSERT_EQ(run.get().status, 0);
    const std::string stored = ReadFileText(RegistryPath());
    EXPECT_NE(stored.find("\"MinMotorStep\"=dword:00000019"), std::string::npos) << stored;
    EXPECT_NE(stored.find("\"AscomPreferredTermometer\"=dword:00000001"), std::string::npos);
}

}  // namespace
}  // namespace kavri::test
