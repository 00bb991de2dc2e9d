// Reading the daily temperature logs for the focus calibration: file dates and order, lines,
// and which runs of rows become focus points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "device/FocusPoints.h"
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
    EXPECT_EQ(DaysFromCivil({2024, 3, 1}) - DaysFromCivil({1970, 1, 1}), 19783);
    EXPECT_EQ(CivilFromDays(DaysFromCivil({2000, 2, 29}) + 1), (CivilDate{2000, 3, 1}));
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
    const auto since = DailyLogsSince(dir.Path(), {2024, 3, 1});
    ASSERT_EQ(since.size(), 1u);
    EXPECT_EQ(since[0].filename(), "term_log_2024-03-02.csv");
}

TEST(FocusLogLines, GarbageIsCountedAndRowsFollowTheirOwnFieldCount) {
    static const char kNul[] = "00:00:20,10\0,20,100,L\r\n";
    std::string text = "Time,T0,T1,Focus,Filter\r\n" + Rows(0, 4, 100) + "\r\n" +
                       "21:0:00,10.00,20.00,100,L\r\n" + Rows(20, 0, 100, "L", 0, "ten") +
                       Rows(20, 0, 99999) + "00:00:20,10.00,20.00,100,\"L\r\n" +
                       "Time,T0,Focus,Filter,Extra\r\n" + std::string(kNul, sizeof kNul - 1) +
                       "\xff\xfe garbage\r\n" + Rows(20, 0, 100, "L", 0, "") +
                       "00:00:25,10.00,20.00,,L\r\n";  // two rows without a reading
    // The thermometer count drops to none, then grows to three: rows follow their own count.
    text += "Time,Focus,Filter\r\n00:00:30,100,L\r\n00:01:00,10.00,1.00,2.00,200,L\r\n" +
            Rows(65, 14, 200);
    FocusPointFinder finder(0);
    finder.AddLog("log", text, CivilDate{2024, 3, 14});
    EXPECT_EQ(finder.Finish().size(), 1u);
    const LogFileStats& stats = finder.Logs().at(0);
    EXPECT_EQ(stats.malformed, 7);
    EXPECT_EQ(stats.rows, 4 + 2 + 1 + 15);
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
    EXPECT_EQ(refocused[0].seconds, 65);
    EXPECT_NEAR(refocused[0].temperature, 11.055, 1e-9);
    EXPECT_EQ(refocused[0].secondOfDay, 5);
    EXPECT_EQ(refocused[0].date, "2024-03-14");
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

}  // namespace
}  // namespace kavri::test
