// SPDX-License-Identifier: GPL-3.0-or-later
// The focus calibration: reading the daily temperature logs into focus points, and the
// compensation fit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

#include "calibration/CompensationFit.h"
#include "calibration/FocusPoints.h"
#include "support/SyntheticLog.h"
#include "support/TempDir.h"

namespace kavri::test {
namespace {

namespace fs = std::filesystem;

// `count` rows 5 s apart from `second` on at one position and filter, the temperature in T0
// rising 0.01 degrees a row (a count of 0: one row with `degrees` as text).
std::string Rows(int second, int count, int position, const std::string& filter = "L",
                 double degrees = 10, const char* text = nullptr) {
    std::string rows;
    for (int i = 0; i < std::max(count, 1); ++i, second += 5) {
        char row[128];
        std::snprintf(row, sizeof row, "%02d:%02d:%02d,%s,20.00,%d,%s\r\n", second / 3600,
                      second / 60 % 60, second % 60,
                      text ? text : std::to_string(degrees + 0.01 * i).c_str(), position,
                      filter.c_str());
        rows += row;
    }
    return rows;
}

std::vector<FocusPoint> Points(const std::string& text, int thermometer = 0) {
    FocusPointFinder finder(thermometer);
    finder.AddLog("log", text, CivilDate{2024, 3, 14});
    return finder.Finish();
}

TEST(FocusLogFiles, DatesInNamesAndTheReadingOrder) {
    EXPECT_EQ(LogFileDate("/x/term_log_2024-02-29.csv"), (CivilDate{2024, 2, 29}));
    for (const char* name :
         {"term_log_2023-02-29.csv", "term_log_2024-3-01.csv", "term_log_2024-03-01.txt"})
        EXPECT_FALSE(LogFileDate(name)) << name;
    // Dated logs oldest first, undated after them; one file named twice is read once.
    TempDir dir;
    for (const char* name : {"term_log_2024-03-02.csv", "term_log_2024-02-29.csv", "notes.csv"})
        WriteFileText(dir.File(name), "Time,Focus,Filter\n");
    const auto order =
        OrderLogs({dir.File("notes.csv"), dir.File("term_log_2024-03-02.csv"),
                   dir.Path() + "/./term_log_2024-03-02.csv", dir.File("term_log_2024-02-29.csv")});
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[0].filename(), "term_log_2024-02-29.csv");
    EXPECT_EQ(order[2].filename(), "notes.csv");

    // Day numbers count calendar days from 1970-01-01, one per day through leap years and
    // century rules alike (--since and a night across midnight count days so).
    CivilDate expected{1899, 12, 31};
    for (int64_t days = DaysFromCivil(expected); expected.year < 2101; ++days) {
        const CivilDate date = CivilFromDays(days);
        ASSERT_EQ(date, expected) << days;
        ASSERT_EQ(DaysFromCivil(date), days);
        const bool leap = date.year % 4 == 0 && (date.year % 100 != 0 || date.year % 400 == 0);
        const int monthDays[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        expected = date.day < monthDays[date.month - 1]
                       ? CivilDate{date.year, date.month, date.day + 1}
                   : date.month < 12 ? CivilDate{date.year, date.month + 1, 1}
                                     : CivilDate{date.year + 1, 1, 1};
    }
    EXPECT_EQ(DaysFromCivil({1970, 1, 1}), 0);
}

TEST(FocusLogLines, GarbageIsCountedAndRowsFollowTheirOwnFieldCount) {
    static const char kNul[] = "00:00:20,10\0,20,100,L\r\n";
    std::string text = "Time,T0,T1,Focus,Filter\r\n" + Rows(0, 4, 100) + "\r\n" +
                       "21:0:00,10.00,20.00,100,L\r\n" + Rows(20, 0, 100, "L", 0, "ten") +
                       Rows(20, 0, 99999) + "00:00:20,10.00,20.00,100,\"L\r\n" +
                       "Time,T0,Focus,Filter,Extra\r\n" + std::string(kNul, sizeof kNul - 1) +
                       "\xff\xfe garbage\r\n" + Rows(20, 0, 100, "L", 0, "") +
                       "00:00:25,10.00,20.00,,L\r\n";  // two rows without a reading
    // The thermometer count drops to none, then grows to eight (the most a log holds; a ninth
    // is garbage) and three: rows follow their own count.
    text +=
        "Time,Focus,Filter\r\n00:00:30,100,L\r\n00:00:40,1,2,3,4,5,6,7,8,100,L\r\n"
        "00:00:45,1,2,3,4,5,6,7,8,9,100,L\r\n00:01:00,10.00,1.00,2.00,200,L\r\n" +
        Rows(65, 14, 200);
    FocusPointFinder finder(0);
    finder.AddLog("log", text, CivilDate{2024, 3, 14});
    EXPECT_EQ(finder.Finish().size(), 1u);
    const LogFileStats& stats = finder.Logs().at(0);
    EXPECT_EQ(stats.malformed, 8);
    EXPECT_EQ(stats.rows, 4 + 2 + 1 + 1 + 15);
    EXPECT_EQ(stats.skipped, 2);
    EXPECT_EQ(stats.withoutThermometer, 1);

    // A quoted name is read back whole; the point's temperature is the run's median.
    const auto refocused = Points(
        "00:00:00,10.00,20.00,100,\"R,\"\"x\"\r\n"
        "00:00:05,10.00,20.00,200,\"R,\"\"x\"\r\n" +
        Rows(10, 13, 200, "\"R,\"\"x\"", 11));
    ASSERT_EQ(refocused.size(), 1u);
    EXPECT_EQ(refocused[0].filter, "R,\"x");
    EXPECT_EQ(refocused[0].rows, 14);
    EXPECT_NEAR(refocused[0].temperature, 11.055, 1e-9);
    EXPECT_EQ(refocused[0].secondOfDay, 5);
}

TEST(FocusLogPoints, OnlySettledRunsBegunByARefocusCount) {
    const std::string before = Rows(0, 20, 100);  // the log's first run: no predecessor
    const struct {
        const char* what;
        std::string text;
        size_t points;
        int thermometer = 0;
    } cases[] = {
        {"a minute after a refocus", before + Rows(100, 13, 120), 1},
        {"55 s is not settled", before + Rows(100, 12, 120), 0},
        {"the first run has no refocus", Rows(0, 40, 100), 0},
        {"a filter's offset is not a refocus",
         before + Rows(100, 2, 160, "Ha") + Rows(110, 20, 170, "Ha"), 0},
        {"a refocus 20 s after a filter change",
         before + Rows(100, 4, 160, "Ha") + Rows(120, 20, 170, "Ha"), 1},
        {"a gap of over a minute hides what happened", before + Rows(200, 20, 120), 0},
        {"a failed wheel query inside the run is skipped",
         before + Rows(100, 5, 120) + Rows(125, 1, 120, "") + Rows(130, 8, 120), 1},
        {"a malformed line does not end the run",
         before + Rows(100, 5, 120) + "garbage\r\n" + Rows(125, 9, 120), 1},
        {"no wheel: the empty name is a filter", Rows(0, 20, 100, "") + Rows(100, 13, 120, ""), 1},
        {"no T3 column", before + Rows(100, 13, 120), 0, 3},
    };
    for (const auto& c : cases) EXPECT_EQ(Points(c.text, c.thermometer).size(), c.points) << c.what;
}

TEST(FocusLogPoints, RunsCrossMidnightCopiesCountOnceAndCompensationGivesNone) {
    TempDir dir;
    fs::create_directory(dir.File("copy"));
    SyntheticNight night;  // 20:00 to 05:00, refocusing every 30 minutes, one at midnight
    const auto paths = WriteSyntheticLogs(night, dir.Path());
    const auto scan = ScanFocusLogs(OrderLogs({paths[1], paths[0]}), 0);
    ASSERT_EQ(scan.logs.size(), 2u);
    EXPECT_EQ(scan.logs[0].path, paths[0]);
    const auto midnight = std::find_if(scan.points.begin(), scan.points.end(), [](const auto& p) {
        return p.date == "2024-03-15" && p.secondOfDay == 0;
    });
    ASSERT_NE(midnight, scan.points.end());
    EXPECT_EQ(midnight->rows, 360);

    // A copy of the first log read after the originals adds no point; nor does its
    // continuation into the next day, which the copy lacks.
    fs::copy_file(paths[0], dir.File("copy/term_log_2024-03-14.csv"));
    const auto again =
        ScanFocusLogs(OrderLogs({paths[0], paths[1], dir.File("copy/term_log_2024-03-14.csv")}), 0);
    EXPECT_EQ(again.points.size(), scan.points.size());
    EXPECT_GT(again.duplicates, 0);
    const auto missing = ScanFocusLogs({dir.File("term_log_2024-03-13.csv")}, 0);
    ASSERT_EQ(missing.logs.size(), 1u);
    EXPECT_FALSE(missing.logs[0].readable);

    // Compensation running: the position follows the falling temperature every 20 s.
    night.compensationEveryRows = 4;
    night.degreesPerHour = -10;
    const auto compensated = WriteSyntheticLogs(night, dir.File("copy"));
    EXPECT_TRUE(ScanFocusLogs({compensated.begin(), compensated.end()}, 0).points.empty());
}

// Logs are read as a stream in bounded memory: a line too long for a row is malformed and not
// kept, rows across the read's chunks are all read, the median of a run longer than its exact
// store stays exact to the log's hundredths, and of more focus points than are kept the newest
// stay and the older are counted.
TEST(FocusLogPoints, ReadingTakesBoundedMemoryWhateverTheLogsHold) {
    TempDir dir;
    // Rows 0.01 degrees apart from 10.00 on: the median of 5000 is 34.995.
    const std::string text =
        Rows(0, 20, 100) + std::string(1 << 20, 'x') + "\r\n" + Rows(100, 5000, 120);
    WriteFileText(dir.File("term_log_2024-03-14.csv"), text.substr(0, text.size() - 2));
    const auto scan = ScanFocusLogs({dir.File("term_log_2024-03-14.csv")}, 0);
    ASSERT_EQ(scan.logs.size(), 1u);
    EXPECT_EQ(std::pair(scan.logs[0].rows, scan.logs[0].malformed),
              std::pair(int64_t{5020}, int64_t{1}));
    ASSERT_EQ(scan.points.size(), 1u);
    EXPECT_EQ(scan.points[0].rows, 5000);
    EXPECT_NEAR(scan.points[0].temperature, 34.995, 1e-9);

    // A refocus to position `run` every 65 s, across many days: the newest points stay.
    FocusPointFinder finder(0);
    finder.BeginLog("many", CivilDate{2024, 1, 1});
    const int runs = static_cast<int>(kMaxFocusPoints) + 7;
    for (int run = 0; run <= runs; ++run) {
        for (int second = run * 65; second < run * 65 + 65; second += 5) {
            char line[64];
            std::snprintf(line, sizeof line, "%02d:%02d:%02d,10.00,%d,L", second / 3600 % 24,
                          second / 60 % 60, second % 60, run);
            finder.AddLine(line);
        }
    }
    const auto points = finder.Finish();
    ASSERT_EQ(points.size(), kMaxFocusPoints);
    EXPECT_EQ(finder.LeftOut(), 7);
    EXPECT_EQ(std::pair(points.front().position, points.back().position), std::pair(8, runs));
}

// Focus points on a known line: steps per degree, one filter per offset, the noise's
// standard deviation in steps, points per filter.
struct Line {
    double slope;
    std::vector<int> offsets;
    double noise;
    int pointsPerFilter;
    unsigned seed;
};

std::vector<FocusPoint> MakePoints(const Line& line, double lowDegrees = -2,
                                   double highDegrees = 12) {
    std::mt19937 random(line.seed);
    std::uniform_real_distribution<double> degrees(lowDegrees, highDegrees);
    std::normal_distribution<double> noise(0, line.noise);
    std::vector<FocusPoint> points;
    for (int i = 0; i < line.pointsPerFilter; ++i) {
        for (size_t f = 0; f < line.offsets.size(); ++f) {
            FocusPoint point;
            point.temperature = std::round(degrees(random) * 100) / 100;
            point.position = static_cast<int>(std::lround(
                5000 + line.offsets[f] + line.slope * point.temperature + noise(random)));
            point.filter = std::string(1, static_cast<char>('A' + f));
            points.push_back(point);
        }
    }
    return points;
}

TEST(CompensationFitTest, TheIntervalHoldsTheKnownSlopeNineteenTimesInTwenty) {
    const std::vector<Line> lines = {{-15, {0, 60}, 2, 10, 0},
                                     {8.5, {0, -400, 900}, 4, 6, 0},
                                     {0.4, {0}, 1.5, 12, 0},
                                     {-120, {0, 35}, 10, 20, 0}};
    constexpr int kTrials = 100;
    for (Line line : lines) {
        SCOPED_TRACE(line.slope);
        for (const int badSteps : {0, 150}) {
            int covered = 0;
            for (line.seed = 1; line.seed <= kTrials; ++line.seed) {
                auto points = MakePoints(line);
                // A failed autofocus or two: far off the line, and rejected.
                points[1].position += badSteps;
                points[4].position -= badSteps;
                const CompensationFit fit = FitCompensation(points);
                ASSERT_EQ(fit.refusal, FitRefusal::None);
                covered += fit.slopeLow <= line.slope && line.slope <= fit.slopeHigh;
                EXPECT_LT(fit.slopeHigh - fit.slopeLow, std::max(3.0, std::fabs(line.slope) * 0.2));
                EXPECT_EQ(fit.use[1] == FocusPointUse::Outlier, badSteps != 0);
                EXPECT_EQ(fit.used, static_cast<int>(points.size()) - fit.outliers);
            }
            // 95 of 100 expected; below 88 the interval is too narrow (or the slope biased).
            EXPECT_GE(covered, 88) << badSteps;
        }
    }
}

TEST(CompensationFitTest, RefusalsTheCoefficientAndTheQuantilesOfTheInterval) {
    // Four filters of one point each tell nothing about the slope.
    const CompensationFit lone = FitCompensation(MakePoints({-10, {0, 10, 20, 30}, 1, 1, 5}));
    EXPECT_EQ(lone.refusal, FitRefusal::TooFewPoints);
    EXPECT_EQ(lone.alone, 4);
    // Wide overall, but each filter covers only 1.5 degrees.
    auto narrow = MakePoints({-10, {0}, 1, 6, 7}, 0, 1.5);
    for (auto point : MakePoints({-10, {0}, 1, 6, 8}, 8, 9.5)) {
        point.filter = "other";
        narrow.push_back(point);
    }
    const CompensationFit fit = FitCompensation(narrow);
    EXPECT_EQ(fit.refusal, FitRefusal::TooNarrowSpan);
    EXPECT_LT(fit.span, kMinTemperatureSpan);
    EXPECT_EQ(fit.used, 12);
    // The coefficient is the rounded slope within the controller's range.
    const std::pair<double, int> coefficients[] = {{-15.4, -15},  {-15.5, -16},  {0.49, 0},
                                                   {999.6, 1000}, {-5e9, -1000}, {NAN, 0}};
    for (const auto& [slope, value] : coefficients)
        EXPECT_EQ(CompensationCoefficient(slope), value) << slope;
    const std::pair<int, double> quantiles[] = {{1, 12.706}, {2, 4.303},  {10, 2.228},
                                                {30, 2.042}, {31, 2.040}, {1000, 1.962}};
    for (const auto& [df, t] : quantiles) EXPECT_NEAR(StudentT95(df), t, 1.5e-3) << df;
}

}  // namespace
}  // namespace kavri::test
