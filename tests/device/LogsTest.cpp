// SPDX-License-Identifier: GPL-3.0-or-later
// The diagnostic log, the daily temperature log with the device's 5-second timer that
// fills it, and the timer service the tests drive by hand (the command-line tool's loop is run
// by its own tests, interrupt included).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "device/DeviceOnPeer.h"
#include "device/DiagnosticLog.h"
#include "device/TemperatureLog.h"
#include "platform/ManualTimerService.h"
#include "support/TempDir.h"

namespace kavri::test {
namespace {

TEST(DiagnosticLog, LinesGoToTheSinkAndTheFileExactlyWithSecondsSinceTheStart) {
    DiagnosticLog log;
    std::vector<std::string> lines;
    log.SetSink([&](const char* line) { lines.emplace_back(line); });
    TempDir dir;
    const std::string path = dir.File("diag.log");
    ASSERT_TRUE(log.OpenFile(path));
    log.Print("OK Goto(%i->%i) in=%.1fms\r\n", 1, 3, 812.25);
    // On disk at once, as a crash at this point would leave it; the caller's line end exactly.
    EXPECT_EQ(ReadFileText(path), lines.at(0));
    EXPECT_EQ(lines[0].substr(lines[0].find(" : ")), " : OK Goto(1->3) in=812.2ms\r\n");
    EXPECT_EQ(lines[0].find(" : "), lines[0].find('.') + 4);  // three decimals
    EXPECT_LT(std::stod(lines[0]), 60.0);                     // seconds, not milliseconds
    log.Print("%s\r\n", std::string(3000, 'x').c_str());
    EXPECT_EQ(lines.at(1).size(), 2047u);  // cut, line end and all
    EXPECT_EQ(lines[1].back(), 'x');
    log.CloseFile();
    log.Print("after disconnect\r\n");
    EXPECT_EQ(ReadFileText(path), lines[0] + lines[1]);

    // Below a regular file; a FIFO without a reader (the open must not wait for one); a
    // device; a directory: no file, the sink only.
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
    for (const std::string& bad :
         {path + "/x", dir.File("fifo"), std::string("/dev/full"), dir.Path()}) {
        EXPECT_FALSE(log.OpenFile(bad) || log.HasFile()) << bad;
    }
}

namespace fs = std::filesystem;

TEST(TemperatureLogFile, RowsAndOneHeaderPerDayAcrossRestartsAndNothingAskedWhenUnwritable) {
    const std::pair<TemperatureSample, const char*> rows[] = {
        {{{std::nullopt}, std::nullopt, std::nullopt}, "03:04:05,,,\r\n"},
        {{{0.125f, 21.5f, -0.004f}, -150, "Halpha7n"},
         "03:04:05,0.12,21.50,-0.00,-150,Halpha7n\r\n"},
        {{{}, 1, "R,G"}, "03:04:05,1,\"R,G\"\r\n"},  // names that would break the row are quoted
        {{{}, 1, "5\"x"}, "03:04:05,1,\"5\"\"x\"\r\n"},
    };
    for (const auto& [sample, row] : rows)
        EXPECT_EQ(FormatTemperatureRow({2009, 1, 2, 3, 4, 5}, sample), row);
    TempDir temp;
    const fs::path dir = fs::path(temp.Path()) / "share" / "kavri";  // created when missing
    LocalDateTime now{2009, 6, 17, 23, 59, 55};
    const auto row = [](int position) {
        return [position] { return TemperatureSample{{1.0f}, position, "L"}; };
    };
    {
        TemperatureLog log(dir, [&] { return now; });
        EXPECT_TRUE(log.Append(row(1)));
        now.second = 58;
        EXPECT_TRUE(log.Append(row(2)));
    }
    // A restart on the same day appends to the same file; after midnight a new file begins.
    TemperatureLog log(dir, [&] { return now; });
    EXPECT_TRUE(log.Append(row(3)));
    now = {2009, 6, 18, 0, 0, 3};
    EXPECT_TRUE(log.Append(row(4)));
    EXPECT_EQ(ReadFileText(dir / "term_log_2009-06-17.csv"),
              "Time,T0,Focus,Filter\r\n23:59:55,1.00,1,L\r\n23:59:58,1.00,2,L\r\n"
              "23:59:58,1.00,3,L\r\n");
    EXPECT_EQ(ReadFileText(dir / "term_log_2009-06-18.csv"),
              "Time,T0,Focus,Filter\r\n00:00:03,1.00,4,L\r\n");

    // A directory where the day's file should be, or a file where the folder should be: the
    // controller is not asked, and the next tick tries again.
    int sampled = 0;
    const auto counted = [&] { return ++sampled, TemperatureSample{{}, 5, std::nullopt}; };
    now = {2009, 6, 19, 0, 0, 3};
    const fs::path file = dir / "term_log_2009-06-19.csv";
    fs::create_directories(file);
    EXPECT_FALSE(log.Append(counted));
    TemperatureLog blocked(dir / "term_log_2009-06-18.csv" / "kavri", [&] { return now; });
    EXPECT_FALSE(blocked.Append(counted));
    EXPECT_EQ(sampled, 0);
    fs::remove(file);
    WriteFileText(file, "Time,Focus,Filter\r\n00:00:01,12");  // a row cut short is closed off
    EXPECT_TRUE(log.Append(counted));
    EXPECT_EQ(sampled, 1);
    EXPECT_EQ(ReadFileText(file), "Time,Focus,Filter\r\n00:00:01,12\r\n00:00:03,5,\r\n");
}

// The device's timer, writing to a log of the test's own.
class TemperatureLogTimer : public DeviceTestBase {
protected:
    void SetUp() override {
        DeviceTestBase::SetUp();
        SetActiveTemperatureLog(
            TemperatureLog(logDir_, [] { return LocalDateTime{2009, 6, 17, 21, 5, 0}; }));
        Link(1, peer.SlavePath());
    }
    void TearDown() override {
        DeviceTestBase::TearDown();
        SetActiveTemperatureLog(std::nullopt);
    }
    std::string Log() const { return ReadFileText(logDir_ / "term_log_2009-06-17.csv"); }

    fs::path logDir_ = fs::path(dir_.Path()) / "data" / "kavri";
};

TEST_F(TemperatureLogTimer, EveryFiveSecondsOneRowFromTheController) {
    ScriptFullProbe(peer, SampleImage(2));
    ASSERT_TRUE(device->Connect());
    peer.Expect("FWtemperature0").Reply("\xBB\xFE").Expect("FWtemperature1").Reply("\x00\x80"s);
    peer.Expect("FWfocus").Reply("\x08\x2F").Expect("FWFILTER").Reply("0");
    timers.Advance(4999);
    EXPECT_FALSE(fs::exists(logDir_));
    timers.Advance(1);
    ASSERT_TRUE(peer.WaitIdle(5000));
    EXPECT_EQ(Log(), "Time,T0,T1,Focus,Filter\r\n21:05:00,-3.25,,12040,L\r\n");
    // The filter field: an 8-character name whole; indices -1 and 10 leave it empty.
    for (const char* reply : {"4", "/", ":"}) {
        peer.Expect("FWtemperature0").Reply("\x29\x09").Expect("FWtemperature1").Reply("\x00\x00"s);
        peer.Expect("FWfocus").Reply("\x08\x2F").Expect("FWFILTER").Reply(reply);
        timers.Advance(5000);
        ASSERT_TRUE(peer.WaitIdle(5000)) << reply;
    }
    EXPECT_EQ(Log(),
              "Time,T0,T1,Focus,Filter\r\n21:05:00,-3.25,,12040,L\r\n"
              "21:05:00,23.45,0.00,12040,Halpha7n\r\n21:05:00,23.45,0.00,12040,\r\n"
              "21:05:00,23.45,0.00,12040,\r\n");
}

TEST_F(TemperatureLogTimer, AFocuserOnlyControllerWithACorruptThermometerCount) {
    // No "FWFILTER" without a wheel; at most eight thermometers are asked.
    peer.Expect("FWFILTER").Expect("FWfocus").Reply("\0\0"s).Expect(kReadImage);
    peer.Reply(ImageBytes(SampleImage(200))).Expect("FWzm").Reply("\0"s);
    ASSERT_TRUE(device->Connect());
    for (int i = 0; i < kMaxThermometers; ++i)
        peer.Expect("FWtemperature" + std::to_string(i)).Reply(Bytes{static_cast<uint8_t>(i), 0});
    peer.Expect("FWfocus").Reply("\x01\x00"s).ExpectQuiet(100);
    timers.Advance(5000);
    ASSERT_TRUE(peer.WaitIdle(5000));
    EXPECT_EQ(Log(),
              "Time,T0,T1,T2,T3,T4,T5,T6,T7,Focus,Filter\r\n"
              "21:05:00,0.00,0.01,0.02,0.03,0.04,0.05,0.06,0.07,1,\r\n");
}

TEST_F(TemperatureLogTimer, NothingWhileNoFocuserIsConnectedOrItIsBusy) {
    ASSERT_NE(device->port = OpenSerialPort(peer.SlavePath(), 9600), nullptr);
    timers.Advance(5000);  // no focuser found
    device->focuserPresent = true;
    device->busy = true;  // in the middle of another exchange
    timers.Advance(5000);
    peer.ExpectQuiet(50);
    EXPECT_TRUE(peer.WaitIdle(2000));
    device.reset();
    LogTemperatures();  // a stray tick after the device is gone
    EXPECT_FALSE(fs::exists(logDir_));
}

TEST(ManualTimerService, AdvanceFiresDueTimersInTimeOrderAndStopsThem) {
    ManualTimerService timers;
    std::vector<std::pair<char, long long>> fired;
    EXPECT_EQ(timers.StartTimer(15, 5000, [&] { fired.push_back({'s', timers.NowMs()}); }), 15);
    int fast = 0;
    fast = timers.StartTimer(15, 2000, [&] {  // a taken identifier is replaced
        fired.push_back({'f', timers.NowMs()});
        if (timers.NowMs() == 4000) timers.StopTimer(fast);  // from inside its own callback
    });
    EXPECT_EQ(timers.StartTimer(0, 0, [] {}) + timers.StartTimer(0, 1000, nullptr), 0);
    EXPECT_NE(timers.StartTimer(0, 1, [] {}), 0);
    timers.Advance(10000);
    timers.Tick();  // every running timer once more, the clock standing still
    EXPECT_EQ(fired, (std::vector<std::pair<char, long long>>{
                         {'f', 2000}, {'f', 4000}, {'s', 5000}, {'s', 10000}, {'s', 10000}}));
}

}  // namespace
}  // namespace kavri::test
