#include "device/DiagnosticLog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/TempDir.h"

namespace kavri::test {
namespace {

TEST(DiagnosticLog, LinesGoToTheSinkAndTheFileExactlyWithSecondsSinceTheStart) {
    DiagnosticLog log;
    std::vector<std::string> lines;
    log.SetSink([&](const char* line) { lines.emplace_back(line); });
    TempDir dir;
    const std::string path = dir.File("diag.log");
    WriteFileText(path, "left over\r\n");
    ASSERT_TRUE(log.OpenFile(path));
    log.Print("OK Goto(%i->%i) in=%.1fms\r\n", 1, 3, 812.25);
    // On disk at once, as a crash at this point would leave it; the caller's line end exactly.
    EXPECT_EQ(ReadFileText(path), lines.at(0));
    const std::string& line = lines[0];
    EXPECT_EQ(line.substr(line.find(" : ")), " : OK Goto(1->3) in=812.2ms\r\n");
    EXPECT_EQ(line.find(" : "), line.find('.') + 4);  // three decimals
    EXPECT_LT(std::stod(line), 60.0);                 // seconds, not milliseconds

    log.Print("%s\r\n", std::string(3000, 'x').c_str());  // cut at 2047 characters
    EXPECT_EQ(lines.at(1).size(), 2047u);
    EXPECT_EQ(lines[1].back(), 'x');
    ASSERT_TRUE(log.OpenFile(path));  // reopening empties the file
    log.Print("second connection\r\n");
    log.CloseFile();
    log.Print("after disconnect\r\n");
    EXPECT_EQ(ReadFileText(path), lines.at(2));
    EXPECT_EQ(lines.size(), 4u);
}

TEST(DiagnosticLog, AnUnopenableOrSpecialFileLeavesTheSinkOnly) {
    DiagnosticLog log;
    TempDir dir;
    WriteFileText(dir.File("plain"), "x");
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
    // Below a regular file; a FIFO without a reader (the open must not wait for one); a
    // device; a directory.
    for (const std::string& path :
         {dir.File("plain/diag.log"), dir.File("fifo"), std::string("/dev/full"), dir.Path()}) {
        EXPECT_FALSE(log.OpenFile(path)) << path;
        EXPECT_FALSE(log.HasFile()) << path;
    }
}

}  // namespace
}  // namespace kavri::test
