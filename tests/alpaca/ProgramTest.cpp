// SPDX-License-Identifier: GPL-3.0-or-later
// The kavri-alpaca program: its first line names where it serves, it serves the emulated
// controller, a SIGTERM stops it cleanly and frees the port, and bad usage is refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "alpaca/HttpClient.h"
#include "sim/Emulator.h"
#include "support/TempDir.h"
#include "transport/SerialPort.h"

namespace kavri::test {
namespace {

// The program as a child with its standard output on a pipe and standard error in a file.
class Program {
public:
    Program(std::vector<std::string> args, const TempDir& dir) : stderr_(dir.File("stderr")) {
        int out[2];
        if (::pipe(out) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            const int err = ::open(stderr_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err >= 0) ::dup2(err, 2);
            ::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
            ::setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
            for (int signal = 1; signal < NSIG; ++signal) ::signal(signal, SIG_DFL);
            std::vector<char*> argv{const_cast<char*>(KAVRI_ALPACA_PROGRAM)};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(KAVRI_ALPACA_PROGRAM, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        stdout_ = ::fdopen(out[0], "r");
    }
    ~Program() {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        if (stdout_) std::fclose(stdout_);
    }
    std::string Line() {
        char buffer[512] = {};
        if (!stdout_ || !std::fgets(buffer, sizeof buffer, stdout_)) return {};
        return std::string(buffer, strcspn(buffer, "\n"));
    }
    std::string Stderr() const { return ReadFileText(stderr_); }
    void Signal(int signal) const { ::kill(pid_, signal); }
    // The exit status, or -1 when the program has not ended within `limitMs`.
    int WaitWithin(int limitMs) {
        for (int waited = 0; waited < limitMs; waited += 10) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) return Decode(status);
            ::usleep(10000);
        }
        return -1;
    }
    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        return Decode(status);
    }

private:
    int Decode(int status) {
        return status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string stderr_;
    pid_t pid_ = -1;
    FILE* stdout_ = nullptr;
    int status_ = -1;
};

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
    Program program({"--port", emulator.SlavePath(), "--http-port", "0", "--no-discovery"}, dir);
    const std::string first = program.Line();
    const uint16_t port = PortOfFirstLine(first);
    ASSERT_NE(port, 0) << first << program.Stderr();
    EXPECT_NE(first.find("/setup"), std::string::npos);

    HttpClient client(port);
    EXPECT_EQ(client.SetMember("focuser", "connected", "Connected=True")["ErrorNumber"], 0);
    EXPECT_EQ(client.SetMember("focuser", "move", "Position=250")["ErrorNumber"], 0);
    program.Signal(SIGTERM);
    EXPECT_EQ(program.WaitWithin(20000), 0) << program.Stderr();
    EXPECT_EQ(program.Line(), "kavri-alpaca: stopped");
    PortHandle freed = OpenSerialPort(emulator.SlavePath(), 9600);
    EXPECT_NE(freed, nullptr);
    CloseSerialPort(freed);
    EXPECT_EQ(emulator.FocuserPosition(), 250);
    // The device saved its settings on the way out.
    EXPECT_NE(ReadFileText(dir.File("config/kavri/registry.reg")).find("FocuserUniqueID"),
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
        Program program(c.args, dir);
        const std::string first = program.Line();
        EXPECT_EQ(program.Wait(), c.status) << c.args[0];
        const std::string shown = c.status == 0 ? first : program.Stderr();
        EXPECT_NE(shown.find(c.text), std::string::npos) << c.args[0] << ": " << shown;
    }

    Program holder({"--http-port", "0", "--no-discovery"}, dir);
    const uint16_t port = PortOfFirstLine(holder.Line());
    ASSERT_NE(port, 0);
    Program second({"--http-port", std::to_string(port), "--no-discovery"}, dir);
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_NE(second.Stderr().find("Cannot listen on 127.0.0.1 port " + std::to_string(port)),
              std::string::npos);
    holder.Signal(SIGINT);
    EXPECT_EQ(holder.WaitWithin(20000), 0);
}

}  // namespace
}  // namespace kavri::test
