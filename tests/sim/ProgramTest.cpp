// The kavri-sim program itself: first line, links, clean shutdown.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "HostLine.h"
#include "TempDir.h"
#include "sim/PortLink.h"

namespace kavri::sim::test {
namespace {

namespace fs = std::filesystem;

// The program as a child process with its standard output on a pipe.
class Program {
public:
    // `ignored`: a signal the program starts with ignored, as under nohup.
    Program(std::vector<std::string> args, const std::string& configHome, int ignored = 0) {
        int out[2];
        if (::pipe(out) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            const std::string errors = configHome + "/stderr";
            const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err >= 0) ::dup2(err, 2);
            ::close(out[0]);
            ::close(out[1]);
            ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
            // Whatever the test runner ignores, the program starts with the defaults.
            for (int signal = 1; signal < NSIG; ++signal) ::signal(signal, SIG_DFL);
            if (ignored != 0) ::signal(ignored, SIG_IGN);
            std::vector<char*> argv{const_cast<char*>(KAVRI_SIM_PROGRAM)};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(KAVRI_SIM_PROGRAM, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        stdout_ = ::fdopen(out[0], "r");
        stderrPath_ = configHome + "/stderr";
    }
    ~Program() {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (stdout_) std::fclose(stdout_);
    }
    std::string FirstLine() {
        char buffer[512] = {};
        if (!stdout_ || !std::fgets(buffer, sizeof buffer, stdout_)) return {};
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        return line;
    }
    pid_t Pid() const { return pid_; }
    std::string Stderr() const {
        std::ifstream in(stderrPath_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // True when the program ends (its output closes) within `limit`.
    bool EndsWithin(int limitMs) {
        pollfd p{stdout_ ? ::fileno(stdout_) : -1, POLLIN, 0};
        return ::poll(&p, 1, limitMs) > 0 && std::fgetc(stdout_) == EOF;
    }
    int Stop(int signal) {
        ::kill(pid_, signal);
        return Wait();
    }
    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return status_;
    }

private:
    pid_t pid_ = -1;
    int status_ = -1;
    FILE* stdout_ = nullptr;
    std::string stderrPath_;
};

TEST(SimProgram, ServesOnItsLinkAndRemovesItOnExit) {
    struct Case {
        int signal;
        bool crash;  // a fault: the program dies of it, but the link goes first
    };
    for (const Case& c :
         {Case{SIGTERM, false}, Case{SIGINT, false}, Case{SIGHUP, false}, Case{SIGQUIT, false},
          Case{SIGPIPE, false}, Case{SIGUSR2, false}, Case{SIGSEGV, true}, Case{SIGABRT, true}}) {
        SCOPED_TRACE(strsignal(c.signal));
        TempDir dir;
        const std::string link = dir / "deep/er/wheel";
        Program program({"--fast", "--link", link}, dir.Path());
        const std::string device = program.FirstLine();
        ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
        ASSERT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), device);
        {
            HostLine line(link);
            EXPECT_EQ(line.Ask("FWCOUNT", 1), B("5"));
        }
        EXPECT_EQ(program.Stop(c.signal) != 0, c.crash);
        EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    }
}

TEST(SimProgram, KeepsServingThroughAnIgnoredHangUp) {
    TempDir dir;
    const std::string link = dir / "wheel";
    Program program({"--fast", "--link", link}, dir.Path(), SIGHUP);  // started with nohup
    ASSERT_NE(program.FirstLine(), "");
    ::kill(program.Pid(), SIGHUP);
    EXPECT_FALSE(program.EndsWithin(300));
    HostLine line(link);
    EXPECT_EQ(line.Ask("FWCOUNT", 1), B("5"));
    EXPECT_EQ(program.Stop(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST(SimProgram, RegistersAComPortInThePortMap) {
    TempDir dir;
    Program program({"--fast", "--com", "7", "--thermometers", "3"}, dir.Path());
    const std::string device = program.FirstLine();
    const std::string link = dir / "kavri/ports/com7";
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), device);
    {
        HostLine line(link);
        EXPECT_EQ(line.Ask(std::string("FWreadEE") + '\x0f' + '\x01', 1), Bytes{3});
    }
    EXPECT_EQ(program.Stop(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_TRUE(fs::is_directory(dir / "kavri/ports"));
}

TEST(SimProgram, NeverReplacesSomethingThatPointsElsewhere) {
    TempDir dir;
    fs::create_directories(dir / "kavri/ports");
    fs::create_symlink("/dev/ttyUSB0", dir / "kavri/ports/com1");  // a real controller
    {
        Program program({"--fast", "--com", "1"}, dir.Path());
        EXPECT_EQ(program.FirstLine(), "");
        EXPECT_EQ(program.Wait(), 1);
    }
    EXPECT_EQ(fs::read_symlink(dir / "kavri/ports/com1"), "/dev/ttyUSB0");

    std::FILE* file = std::fopen((dir / "plain").c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    {
        Program program({"--fast", "--link", dir / "plain"}, dir.Path());
        EXPECT_EQ(program.Wait(), 1);
    }
    EXPECT_TRUE(fs::is_regular_file(dir / "plain"));

    // A link to a pseudo-terminal that no longer exists is what a killed emulator leaves.
    fs::create_symlink("/dev/pts/999999", dir / "stale");
    Program program({"--fast", "--link", dir / "stale"}, dir.Path());
    const std::string device = program.FirstLine();
    EXPECT_EQ(fs::read_symlink(dir / "stale"), device);
    EXPECT_EQ(program.Stop(SIGTERM), 0);
}

TEST(SimProgram, StateThatIsNotARegularFileIsRefusedAtOnce) {
    TempDir dir;
    const std::string fifo = dir / "fifo";
    const std::string directory = dir / "directory";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    fs::create_directory(directory);
    for (const std::string& state : {fifo, directory}) {
        SCOPED_TRACE(state);
        Program program({"--fast", "--state", state}, dir.Path());
        // A FIFO without a writer must not block the start.
        ASSERT_TRUE(program.EndsWithin(5000));
        EXPECT_EQ(program.Wait(), 1);
        EXPECT_NE(program.Stderr().find(state + " is not a regular file"), std::string::npos)
            << program.Stderr();
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_directory(directory) && fs::is_empty(directory));
}

// Where `--com N` puts its link: where the programs look for COMN, even with HOME unset or
// a relative XDG_CONFIG_HOME (which the programs ignore).
TEST(SimProgram, ComPortLinkFollowsTheProgramsRule) {
    const passwd* user = ::getpwuid(::getuid());
    ASSERT_NE(user, nullptr);
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : user->pw_dir;
    const std::string xdg = oldXdg ? oldXdg : "";
    ::unsetenv("HOME");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ComPortLinkPath(3), std::string(user->pw_dir) + "/.config/kavri/ports/com3");
    ::setenv("HOME", "/home/observer", 1);
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(ComPortLinkPath(3), "/home/observer/.config/kavri/ports/com3");
    ::setenv("HOME", home.c_str(), 1);
    oldXdg ? ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
}

TEST(SimProgram, RefusesBadArguments) {
    TempDir dir;
    for (std::vector<std::string> args :
         std::vector<std::vector<std::string>>{{"--com", "17"},
                                               {"--filters", "0"},
                                               {"--fault", "drop,times=zero"},
                                               {"--wheel-only", "--focuser-only"},
                                               {"--bogus"}}) {
        Program program(args, dir.Path());
        EXPECT_EQ(program.Wait(), 2) << args[0];
    }
}

}  // namespace
}  // namespace kavri::sim::test
