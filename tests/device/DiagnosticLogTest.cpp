#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "device/DiagnosticLog.h"

namespace kavri {
namespace {

class DiagnosticLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        log.SetSink([this](const char* line) { lines.emplace_back(line); });
        char pattern[] = "/tmp/kavri-log-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        log.CloseFile();
        std::remove((dir + "/diag.log").c_str());
        std::remove((dir + "/plain").c_str());
        rmdir(dir.c_str());
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    DiagnosticLog log;
    std::vector<std::string> lines;
    std::string dir;
};

TEST_F(DiagnosticLogTest, PrefixCountsSecondsWithThreeDecimals) {
    log.Print("OK Goto(%i->%i) in=%.1fms\r\n", 1, 3, 812.25);
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0];
    const size_t separator = line.find(" : ");
    ASSERT_NE(separator, std::string::npos) << line;
    EXPECT_EQ(line.substr(separator), " : OK Goto(1->3) in=812.2ms\r\n");
    const std::string seconds = line.substr(0, separator);
    ASSERT_GE(seconds.size(), 5u);
    EXPECT_EQ(seconds[seconds.size() - 4], '.') << seconds;  // three decimals
    EXPECT_EQ(seconds.find_first_not_of("0123456789."), std::string::npos) << seconds;
    // Seconds since construction, not milliseconds: a fresh log is well below a minute.
    EXPECT_LT(std::stod(seconds), 60.0);
}

TEST_F(DiagnosticLogTest, LineIsCutAt2047Characters) {
    const std::string longText(3000, 'x');
    log.Print("%s\r\n", longText.c_str());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 2047u);
    EXPECT_EQ(lines[0].find(" : x"), lines[0].find(' '));
    EXPECT_EQ(lines[0].back(), 'x');  // cut before the line end
}

TEST_F(DiagnosticLogTest, FileGetsExactLineEndsAndEveryLineAtOnce) {
    const std::string path = dir + "/diag.log";
    ASSERT_TRUE(log.OpenFile(path));
    ASSERT_TRUE(log.HasFile());
    log.Print("Goto(%i->%i) dif=%i TimeOut=%i\r\n", 0, 2, 2, 2000);
    // Still open: what is on disk now is what a crash at this point would leave.
    EXPECT_EQ(ReadFile(path), lines[0]);
    log.Print("second\r\n");
    const std::string content = ReadFile(path);
    EXPECT_EQ(content, lines[0] + lines[1]);
    EXPECT_EQ(content.find("\r\r\n"), std::string::npos);
    EXPECT_EQ(content.substr(content.size() - 2), "\r\n");
}

TEST_F(DiagnosticLogTest, ReopeningTruncatesAndClosingStopsFileOutput) {
    const std::string path = dir + "/diag.log";
    ASSERT_TRUE(log.OpenFile(path));
    log.Print("first connection\r\n");
    ASSERT_TRUE(log.OpenFile(path));
    log.Print("second connection\r\n");
    log.CloseFile();
    EXPECT_FALSE(log.HasFile());
    log.Print("after disconnect\r\n");
    EXPECT_EQ(ReadFile(path), lines[1]);
    EXPECT_EQ(lines.size(), 3u);
}

TEST_F(DiagnosticLogTest, UnopenableOrSpecialFileLeavesSinkOnly) {
    const std::string blocker = dir + "/plain";
    std::ofstream(blocker) << "x";
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A path below a regular file; a FIFO without a reader (the open must not wait for one);
    // a device; a directory.
    for (const std::string& path : {blocker + "/diag.log", fifo, std::string("/dev/full"), dir}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(log.OpenFile(path));
        EXPECT_FALSE(log.HasFile());
    }
    unlink(fifo.c_str());
    log.Print("still logged\r\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("still logged"), std::string::npos);
}

}  // namespace
}  // namespace kavri
