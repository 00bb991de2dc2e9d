// SPDX-License-Identifier: GPL-3.0-or-later
// calibrate: the coefficient from the daily logs, its plot, and --apply against the emulated
// controller.

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "cli/KavrictlFixture.h"
#include "platform/LocalClock.h"
#include "sim/ImageLayout.h"
#include "support/SyntheticLog.h"

namespace kavri::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kSample = {KAVRI_EXAMPLES_DIR "/calibrate/term_log_2024-03-14.csv",
                                          KAVRI_EXAMPLES_DIR "/calibrate/term_log_2024-03-15.csv"};
constexpr double kSampleSlope = -15;  // the sample night's focus moves -15 steps per degree

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

class CalibrateTest : public KavrictlTest {};

TEST_F(CalibrateTest, TheSampleNightGivesItsKnownSlope) {
    const std::string folder = DataDir() + "/kavri";
    fs::create_directories(folder);
    for (const auto& file : kSample)
        fs::copy_file(file, folder + "/" + fs::path(file).filename().string());

    const CliResult result = RunBare({"--json", "calibrate", "--since", "2024-03-01"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto value = Json(result);
    EXPECT_EQ(value["logs"].size(), 2u);
    EXPECT_LE(value["slopeLow"].get<double>(), kSampleSlope);
    EXPECT_GE(value["slopeHigh"].get<double>(), kSampleSlope);
    EXPECT_EQ(value["thermoCompStepsPerDegree"], -15);
    EXPECT_EQ(value["outliers"], 1);  // the sample's one failed refocus

    // Named files, the other thermometer (it reads 5 degrees warmer: the same slope).
    const CliResult text = RunBare(With({"calibrate", "--thermometer", "1"}, kSample));
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("\nthermoCompStepsPerDegree: -15\n"), std::string::npos) << text.out;

    // Without --since the last 30 days are read: a night that began yesterday, not the sample.
    const LocalDateTime now = ReadLocalClock();
    SyntheticNight recent;
    recent.date = CivilFromDays(DaysFromCivil({now.year, now.month, now.day}) - 1);
    recent.slope = 22;
    WriteSyntheticLogs(recent, folder);
    const auto latest = Json(RunBare({"--json", "calibrate"}));
    EXPECT_EQ(latest["logs"].size(), 2u);
    EXPECT_EQ(latest["thermoCompStepsPerDegree"], 22);

    const CliResult none = RunBare({"calibrate", "--since", "2999-01-01"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.FirstErrorLine(),
              "kavrictl: no temperature logs in " + folder + " since 2999-01-01");
}

TEST_F(CalibrateTest, ThePlotIsWellFormedSvgWithOnePathPerFilter) {
    SyntheticNight night;
    night.rows = 9000;
    night.filters = {{"L", 0}, {"<R&D>", 30}, {"\xC0\xE1", 90}};  // "Аб" in windows-1251
    night.badRefocus = 3;
    night.badSteps = -60;
    fs::create_directories(File("logs"));
    const auto logs = WriteSyntheticLogs(night, File("logs"));
    const CliResult result = RunBare(With({"calibrate", "--plot", File("plot.svg")}, logs));
    ASSERT_EQ(result.status, 0) << result.err;

    // A real XML parser: paths (the fitted lines) and the legend's names.
    const std::string command =
        "python3 -c \"import sys, xml.etree.ElementTree as E\n"
        "root = E.parse(sys.argv[1]).getroot()\n"
        "ns = '{http://www.w3.org/2000/svg}'\n"
        "print(len(root.findall('.//' + ns + 'path')))\n"
        "print('|'.join(t.text for t in root.iter(ns + 'text')))\" " +
        File("plot.svg");
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    ASSERT_EQ(pclose(pipe), 0) << out;
    EXPECT_EQ(out.substr(0, 2), "3\n") << out;
    for (const char* text :
         {"|L|<R&D>|Аб|rejected", "Temperature T0 (°C)", "Focuser position (steps)"}) {
        EXPECT_NE(out.find(text), std::string::npos) << text << " in " << out;
    }

    // As for --log, only a regular file: a FIFO is refused at once rather than waited on.
    std::ofstream(File("file")) << "x";
    ASSERT_EQ(mkfifo(File("fifo.svg").c_str(), 0600), 0);
    for (const std::string& plot : {File("file/plot.svg"), File("fifo.svg")}) {
        const CliResult unwritable = RunBare(With({"calibrate", "--plot", plot}, logs));
        EXPECT_EQ(unwritable.status, 1);
        EXPECT_EQ(unwritable.FirstErrorLine(),
                  "kavrictl: cannot write the plot " + plot + " as a regular file");
    }
}

// --apply writes the rounded coefficient, or fails with the controller's refusal; without a
// coefficient nothing is sent. (Bad arguments: UsageAndConnectionTest.)
TEST_F(CalibrateTest, ApplyWritesTheRoundedCoefficientIntoTheImage) {
    StartEmulator();
    const auto applied = Json(Run(With({"--json", "calibrate", "--apply"}, kSample)));
    EXPECT_EQ(applied["applied"], true);
    EXPECT_EQ(sim::ReadU16(Emulator().GetImage(), sim::offset::kThermoCompStepsPerDegree),
              static_cast<uint16_t>(-15));
    EXPECT_EQ(Emulator().CommandCount("FWwriteEE"), 1);

    Emulator().AddFault(sim::Fault{sim::FaultKind::kWriteEENak, "FWwriteEE"});
    sim::Image image = Emulator().GetImage();
    sim::WriteU16(image, sim::offset::kThermoCompStepsPerDegree, 7);
    Emulator().SetImage(image);
    const CliResult refused = Run(With({"calibrate", "--apply"}, kSample));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "kavrictl: the controller did not accept the configuration\n");
    EXPECT_EQ(Emulator().GetImage(), image);

    SyntheticNight compensated;  // the position follows the falling temperature every 20 s
    compensated.compensationEveryRows = 4;
    compensated.degreesPerHour = -10;
    fs::create_directories(File("logs"));
    const uint64_t received = Emulator().BytesReceived();
    const CliResult none =
        Run(With({"calibrate", "--apply"}, WriteSyntheticLogs(compensated, File("logs"))));
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.FirstErrorLine(),
              "kavrictl: no coefficient: 0 usable focus points, at least 4 needed");
    EXPECT_EQ(Emulator().BytesReceived(), received);
}

// --apply refuses, with the reason and exit 1 before anything is sent, a slope beyond what the
// controller holds (--force or not) and one whose interval is wider than the slope itself
// (unless --force).
TEST_F(CalibrateTest, ApplyRefusesWhatTheControllerCannotHoldOrTheDataDoNotSupport) {
    StartEmulator();
    SyntheticNight steep, weak;
    steep.slope = -2999;
    weak.slope = -21;  // over a narrow span, with wide scatter
    weak.degreesPerHour = -0.3;
    weak.positionNoise = 40;
    for (const char* folder : {"steep", "weak"}) fs::create_directories(File(folder));
    const auto steepLogs = WriteSyntheticLogs(steep, File("steep"));
    const auto weakLogs = WriteSyntheticLogs(weak, File("weak"));
    const std::string beyond = "lies beyond what the controller holds (-1000..1000)";
    const std::tuple<std::vector<std::string>, std::vector<std::string>, std::string> refused[] = {
        {steepLogs, {"--apply"}, beyond},
        {steepLogs, {"--apply", "--force"}, beyond},
        {weakLogs, {"--apply"}, "is wider than the slope"}};
    for (const auto& [logs, args, reason] : refused) {
        const CliResult result = Run(With(With({"calibrate"}, args), logs));
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
    }
    EXPECT_EQ(Emulator().BytesReceived(), 0u);
    const auto forced = Json(Run(With({"--json", "calibrate", "--apply", "--force"}, weakLogs)));
    EXPECT_EQ(forced["applied"], true);
    EXPECT_EQ(forced["supported"], false);
    EXPECT_EQ(sim::ReadI16(Emulator().GetImage(), sim::offset::kThermoCompStepsPerDegree),
              forced["thermoCompStepsPerDegree"].get<int>());
}

}  // namespace
}  // namespace kavri::test
