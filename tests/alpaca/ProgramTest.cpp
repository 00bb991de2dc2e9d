// SPDX-License-Identifier: GPL-3.0-or-later
// The kavri-alpaca program: its first line names where it serves, it serves the emulated
// controller, a SIGTERM stops it cleanly and frees the port, and bad usage is refused.
#include <gtest/gtest.h>
#include <signal.h>

#include "alpaca/HttpClient.h"
#include "sim/Emulator.h"
#include "support/ChildProgram.h"
#include "support/TempDir.h"
#include "transport/SerialPort.h"

namespace kavri::test {
namespace {

uint16_t PortOfFirstLine(const std::string& line) {
    const size_t at = line.find("http://127.0.0.1:");
    return at == std::string::npos ? 0 : static_cast<uint16_t>(std::stoi(line.substr(at + 17)));
}

TEST(AlpacaProgram, ServesUntilSigtermThenFreesThePort) {
    TempDir dir;
    sim::EmulatorOptions options;
    options.fast = true;
    sim::Emulator emulator(options);
    ASSERT_TRUE(emulator.Start());
    ChildProgram program(KAVRI_ALPACA_PROGRAM,
                         {"--port", emulator.SlavePath(), "--http-port", "0", "--no-discovery"},
                         dir.Path());
    const std::string first = program.Line();
    const uint16_t port = PortOfFirstLine(first);
    ASSERT_NE(port, 0) << first << program.Stderr();
    EXPECT_NE(first.find("/setup"), std::string::npos);

    HttpClient client(port);
    EXPECT_EQ(client.SetMember("focuser", "connected", "Connected=True")["ErrorNumber"], 0);
    EXPECT_EQ(client.SetMember("focuser", "move", "Position=250")["ErrorNumber"], 0);
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(20000), 0) << program.Stderr();
    EXPECT_EQ(program.Line(), "kavri-alpaca: stopped");
    PortHandle freed = OpenSerialPort(emulator.SlavePath(), 9600);
    EXPECT_NE(freed, nullptr);
    CloseSerialPort(freed);
    EXPECT_EQ(emulator.FocuserPosition(), 250);
    // The device saved its settings on the way out.
    EXPECT_NE(ReadFileText(dir.File("kavri/registry.reg")).find("FocuserUniqueID"),
              std::string::npos);
}

TEST(AlpacaProgram, RefusesBadUsageAndATakenPort) {
    TempDir dir;
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* text;  // on standard error, or the first line for status 0
    };
    const Case cases[] = {
        {{"--http-port", "70000"}, 2, "--http-port"},
        {{"--listen", "nowhere"}, 2, "--listen takes an IP address"},
        {{"--port", "COM17"}, 2, "--port takes auto"},
        {{"--bogus"}, 2, "--bogus"},
        {{"--version"}, 0, "kavri-alpaca " KAVRI_VERSION},
        {{"--help"}, 0, "kavri-alpaca: the filter wheel and focuser controller"},
    };
    for (const Case& c : cases) {
        ChildProgram program(KAVRI_ALPACA_PROGRAM, c.args, dir.Path());
        const std::string first = program.Line();
        EXPECT_EQ(program.Wait(), c.status) << c.args[0];
        const std::string shown = c.status == 0 ? first : program.Stderr();
        EXPECT_NE(shown.find(c.text), std::string::npos) << c.args[0] << ": " << shown;
    }

    ChildProgram holder(KAVRI_ALPACA_PROGRAM, {"--http-port", "0", "--no-discovery"}, dir.Path());
    const uint16_t port = PortOfFirstLine(holder.Line());
    ASSERT_NE(port, 0);
    ChildProgram second(KAVRI_ALPACA_PROGRAM,
                        {"--http-port", std::to_string(port), "--no-discovery"}, dir.Path());
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_NE(second.Stderr().find("Cannot listen on 127.0.0.1 port " + std::to_string(port)),
              std::string::npos);
    holder.Signal(SIGINT);
    EXPECT_EQ(holder.Wait(20000), 0);
}

}  // namespace
}  // namespace kavri::test
