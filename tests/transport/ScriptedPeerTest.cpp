// The scripted peer itself, driven through a plain file descriptor on the slave side, so the
// helper every exchange test relies on is known to report what it should.
#include <fcntl.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/ScriptedPeer.h"
#include "support/TempDir.h"

namespace kavri::test {
namespace {

int OpenSlave(const ScriptedPeer& peer) {
    int fd = open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    EXPECT_GE(fd, 0);
    return fd;
}

std::string ReadExactly(int fd, size_t count) {
    std::string text;
    while (text.size() < count) {
        pollfd in{fd, POLLIN, 0};
        if (poll(&in, 1, 3000) <= 0) break;
        char buffer[64];
        ssize_t got = read(fd, buffer, std::min(sizeof buffer, count - text.size()));
        if (got <= 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    return text;
}

TEST(ScriptedPeer, MatchesExpectedBytesRepliesAndRecords) {
    ScriptedPeer peer;
    int fd = OpenSlave(peer);
    peer.Expect("FWCOUNT").Reply({'5'}).Expect("FWGOTO3").ReplyBytesSpaced({'a', 'b'}, 20);
    ASSERT_EQ(write(fd, "FWCOUNT", 7), 7);
    EXPECT_EQ(ReadExactly(fd, 1), "5");
    ASSERT_EQ(write(fd, "FWGOTO3", 7), 7);
    EXPECT_EQ(ReadExactly(fd, 2), "ab");
    EXPECT_TRUE(peer.WaitIdle(3000));
    EXPECT_EQ(peer.ReceivedText(), "FWCOUNTFWGOTO3");
    EXPECT_TRUE(peer.Unmatched().empty());
    close(fd);
}

TEST(ScriptedPeer, ReportsMismatchWithBothTexts) {
    ScriptedPeer peer;
    int fd = OpenSlave(peer);
    peer.Expect("FWCOUNT").Reply({'5'});
    ASSERT_EQ(write(fd, "FWCOUNX", 7), 7);
    testing::AssertionResult result = peer.WaitIdle(3000);
    EXPECT_FALSE(result);
    std::string message = result.message();
    EXPECT_NE(message.find("\"FWCOUNT\""), std::string::npos) << message;
    EXPECT_NE(message.find("\"FWCOUNX\""), std::string::npos) << message;
    close(fd);
}

TEST(ScriptedPeer, ReportsTimeout) {
    ScriptedPeer peer;
    peer.SetExpectTimeout(50);
    peer.Expect("FWHOME");
    testing::AssertionResult result = peer.WaitIdle(3000);
    EXPECT_FALSE(result);
    EXPECT_NE(std::string(result.message()).find("timed out"), std::string::npos);
}

TEST(ScriptedPeer, DestructionReportsExpectationsNeverMet) {
    // A test that forgets WaitIdle must still fail when the program did not send its bytes.
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPeer peer;
            peer.Expect("FWHOME").Reply({'!'}).Expect("FWFILTER");
        },
        "FWHOME");
}

TEST(ScriptedPeer, DelaysReplyAndDescribesBinary) {
    ScriptedPeer peer;
    int fd = OpenSlave(peer);
    auto start = std::chrono::steady_clock::now();
    peer.ReplyDelayed({0x00, 0xFF}, 150);
    std::string got = ReadExactly(fd, 2);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(got, std::string("\x00\xFF", 2));
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_EQ(DescribeBytes({'F', 0x00, 0x0A, '"', 0xFF}), "\"F\\x00\\x0A\\x22\\xFF\"");
    EXPECT_TRUE(peer.WaitIdle(3000));
    close(fd);
}

TEST(ScriptedPeer, ExpectQuietFailsOnStrayBytes) {
    ScriptedPeer peer;
    int fd = OpenSlave(peer);
    peer.Expect("FW").ExpectQuiet(300);
    ASSERT_EQ(write(fd, "FWX", 3), 3);
    EXPECT_FALSE(peer.WaitIdle(3000));
    close(fd);
}

TEST(TempDir, CreatesUniqueDirectoryAndRemovesIt) {
    std::string kept;
    {
        TempDir first;
        TempDir second;
        EXPECT_NE(first.Path(), second.Path());
        ASSERT_TRUE(std::filesystem::is_directory(first.Path()));
        std::ofstream(first.File("settings.fws")) << "data";
        EXPECT_TRUE(std::filesystem::exists(first.File("settings.fws")));
        kept = first.Path();
    }
    EXPECT_FALSE(std::filesystem::exists(kept));
}

}  // namespace
}  // namespace kavri::test
