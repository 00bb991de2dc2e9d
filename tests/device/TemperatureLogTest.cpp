#include "device/TemperatureLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ConnectionTestSupport.h"

namespace kavri::test {
namespace {

namespace fs = std::filesystem;

class TemperatureLogTest : public ::testing::Test {
protected:
    TemperatureLog MakeLog() {
        return TemperatureLog(dir_, [this] { return now_; });
    }

    TempDir temp_;
    fs::path root_ = temp_.Path();
    fs::path dir_ = root_ / "share" / "kavri";  // missing: the log creates it
    LocalDateTime now_{2009, 6, 17, 21, 5, 0};
};

TEST(TemperatureLogFormatTest, FileNameHeaderAndRows) {
    EXPECT_EQ(TemperatureLogFileName({2009, 6, 17, 0, 0, 0}), "term_log_2009-06-17.csv");
    EXPECT_EQ(TemperatureLogFileName({2026, 12, 6, 0, 0, 0}), "term_log_2026-12-06.csv");

    EXPECT_EQ(FormatTemperatureHeader(0), "Time,Focus,Filter\r\n");
    EXPECT_EQ(FormatTemperatureHeader(2), "Time,T0,T1,Focus,Filter\r\n");

    TemperatureSample nothing{{std::nullopt}, std::nullopt, std::nullopt};
    EXPECT_EQ(FormatTemperatureRow({2009, 6, 17, 23, 59, 59}, nothing), "23:59:59,,,\r\n");

    // Rounding to two decimals, and an 8-character name kept whole.
    TemperatureSample rounding{{0.125f, 21.5f, -0.004f}, -150, "Halpha7n"};
    EXPECT_EQ(FormatTemperatureRow({2009, 1, 2, 0, 0, 0}, rounding),
              "00:00:00,0.12,21.50,-0.00,-150,Halpha7n\r\n");
}

TEST(TemperatureLogFormatTest, NamesThatWouldBreakTheRowAreQuoted) {
    TemperatureSample comma{{}, 1, "R,G"};
    EXPECT_EQ(FormatTemperatureRow({2009, 1, 2, 3, 4, 5}, comma), "03:04:05,1,\"R,G\"\r\n");
    TemperatureSample quote{{}, 1, "5\"x"};
    EXPECT_EQ(FormatTemperatureRow({2009, 1, 2, 3, 4, 5}, quote), "03:04:05,1,\"5\"\"x\"\r\n");
}

TEST_F(TemperatureLogTest, HeaderOnlyForAnEmptyFileAcrossRestarts) {
    {
        auto log = MakeLog();
        EXPECT_TRUE(log.Append([] {
            return TemperatureSample{{-3.25f, std::nullopt}, 12040, "Red"};
        }));
        now_.second = 5;
        EXPECT_TRUE(log.Append([] { return TemperatureSample{{-3.5f, 1.0f}, 12041, "Red"}; }));
    }
    // A restart on the same day: a new log object appends to the same file, no new header.
    now_.second = 10;
    auto restarted = MakeLog();
    EXPECT_TRUE(restarted.Append([] { return TemperatureSample{{2.0f, 3.0f}, 7, std::nullopt}; }));

    EXPECT_EQ(ReadFile(dir_ / "term_log_2009-06-17.csv"),
              "Time,T0,T1,Focus,Filter\r\n"
              "21:05:00,-3.25,,12040,Red\r\n"
              "21:05:05,-3.50,1.00,12041,Red\r\n"
              "21:05:10,2.00,3.00,7,\r\n");
}

TEST_F(TemperatureLogTest, NewFileAfterLocalMidnight) {
    auto log = MakeLog();
    std::vector<std::string> reported;  // file name and row of every row written
    log.SetRowWritten([&](const fs::path& file, const std::string& row) {
        reported.push_back(file.filename().string() + " " + row);
    });
    now_ = {2009, 6, 17, 23, 59, 58};
    ASSERT_TRUE(log.Append([] { return TemperatureSample{{}, 1, "L"}; }));
    now_ = {2009, 6, 18, 0, 0, 3};
    ASSERT_TRUE(log.Append([] { return TemperatureSample{{}, 2, "L"}; }));

    EXPECT_EQ(ReadFile(dir_ / "term_log_2009-06-17.csv"), "Time,Focus,Filter\r\n23:59:58,1,L\r\n");
    EXPECT_EQ(ReadFile(dir_ / "term_log_2009-06-18.csv"), "Time,Focus,Filter\r\n00:00:03,2,L\r\n");
    EXPECT_EQ(reported, (std::vector<std::string>{"term_log_2009-06-17.csv 23:59:58,1,L\r\n",
                                                  "term_log_2009-06-18.csv 00:00:03,2,L\r\n"}));
}

TEST_F(TemperatureLogTest, UnwritableLocationIsSkippedWithoutSampling) {
    // We run as root, so permissions cannot stop us: a regular file where the directory
    // should be makes the location unwritable.
    fs::create_directories(root_);
    std::ofstream(root_ / "blocker") << "x";
    int sampled = 0;
    std::vector<std::string> failures;  // file name and reason of every row not written
    const auto record = [&](const fs::path& file, const std::string& reason) {
        failures.push_back(file.filename().string() + ": " + reason);
    };
    TemperatureLog blocked(root_ / "blocker" / "kavri", [this] { return now_; });
    blocked.SetRowWritten([](const fs::path&, const std::string&) { ADD_FAILURE() << "reported"; });
    blocked.SetRowFailed(record);
    EXPECT_FALSE(blocked.Append([&] {
        ++sampled;
        return TemperatureSample{};
    }));
    EXPECT_EQ(sampled, 0);  // the controller is not asked when nothing can be written

    // A directory where the day's file should be.
    auto log = MakeLog();
    log.SetRowFailed(record);
    fs::create_directories(dir_ / "term_log_2009-06-17.csv");
    EXPECT_FALSE(log.Append([&] {
        ++sampled;
        return TemperatureSample{};
    }));
    EXPECT_EQ(sampled, 0);
    EXPECT_EQ(failures, (std::vector<std::string>{
                            "term_log_2009-06-17.csv: Not a directory",
                            "term_log_2009-06-17.csv: Is a directory",
                        }));

    // Once the obstacle is gone, the next tick writes normally.
    fs::remove(dir_ / "term_log_2009-06-17.csv");
    EXPECT_TRUE(log.Append([&] {
        ++sampled;
        return TemperatureSample{{}, 5, std::nullopt};
    }));
    EXPECT_EQ(sampled, 1);
    EXPECT_EQ(ReadFile(dir_ / "term_log_2009-06-17.csv"), "Time,Focus,Filter\r\n21:05:00,5,\r\n");
}

TEST_F(TemperatureLogTest, RowCutShortEarlierIsClosedOff) {
    fs::create_directories(dir_);
    std::ofstream(dir_ / "term_log_2009-06-17.csv", std::ios::binary)
        << "Time,Focus,Filter\r\n21:04:55,12";
    auto log = MakeLog();
    ASSERT_TRUE(log.Append([] { return TemperatureSample{{}, 12040, "Red"}; }));
    EXPECT_EQ(ReadFile(dir_ / "term_log_2009-06-17.csv"),
              "Time,Focus,Filter\r\n21:04:55,12\r\n21:05:00,12040,Red\r\n");
}

}  // namespace
}  // namespace kavri::test
