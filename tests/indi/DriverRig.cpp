#include "indi/DriverRig.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

extern char** environ;

namespace kavri::test {

namespace {

using namespace std::chrono_literals;

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Waits up to `timeout` for child `pid` to end; true when it did.
bool Reap(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

}  // namespace

void DriverRig::Start(sim::EmulatorOptions options, int com) {
    // The driver is indiserver's child; when indiserver ends it comes to this process, which
    // can then wait for its exit (and its sanitizer's last word).
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    options.log = [](const std::string&) {};
    emulator_ = std::make_unique<sim::Emulator>(options);
    std::string error;
    ASSERT_TRUE(emulator_->Start(&error)) << error;
    if (com > 0) {
        const std::filesystem::path ports = dir_.File("config/kavri/ports");
        std::filesystem::create_directories(ports);
        std::filesystem::create_symlink(emulator_->SlavePath(),
                                        ports / ("com" + std::to_string(com)));
    }

    std::map<std::string, std::string> variables;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const size_t equals = entry.find('=');
        if (equals != std::string::npos)
            variables[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    const auto sanitizer = [&](const std::string& name, const std::string& file) {
        std::string& options = variables[name];
        options += (options.empty() ? "" : ":") + std::string("log_path=") + dir_.File(file);
    };
    variables["XDG_CONFIG_HOME"] = dir_.File("config");
    variables["XDG_DATA_HOME"] = dir_.File("data");
    variables["HOME"] = dir_.Path();
    sanitizer("ASAN_OPTIONS", "asan");
    sanitizer("UBSAN_OPTIONS", "ubsan");
    // Full allocation stacks, so that libindi's own leaks are told from the driver's.
    variables["ASAN_OPTIONS"] += ":fast_unwind_on_malloc=0";
    variables["LSAN_OPTIONS"] = "print_suppressions=0:suppressions=" LIBINDI_LEAK_SUPPRESSIONS;
    std::vector<std::string> env;
    for (const auto& [name, value] : variables) env.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string log = dir_.File("indiserver.log");
    for (int attempt = 0; attempt < 3 && driver_ < 0; ++attempt) {
        port_ = FreeLoopbackPort();
        std::vector<std::string> args = {"indiserver",
                                         "-v",
                                         "-r",
                                         "0",
                                         "-p",
                                         std::to_string(port_),
                                         "-u",
                                         dir_.File("socket"),
                                         INDI_DRIVER_PROGRAM};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        const int spawned =
            posix_spawnp(&server_, "indiserver", &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_EQ(spawned, 0) << "indiserver could not be started";
        // indiserver says where it listens and which process runs the driver.
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline && driver_ < 0) {
            if (waitpid(server_, nullptr, WNOHANG) == server_) break;  // port taken: try another
            const std::string text = ReadFile(log);
            const size_t pid = text.find("pid=");
            if (pid != std::string::npos &&
                text.find("listening to port " + std::to_string(port_)) != std::string::npos) {
                driver_ = std::atoi(text.c_str() + pid + 4);
            }
            std::this_thread::sleep_for(20ms);
        }
    }
    ASSERT_GT(driver_, 0) << ReadFile(log);
    ASSERT_TRUE(client_.Connect(port_));
    ASSERT_TRUE(client_.WaitFor([&] { return client_.Property("DEVICE_PORT").defined; }, 20s))
        << ReadFile(log);
}

bool DriverRig::ConnectTo(const std::string& port) {
    const int portSince = client_.Set("Text", "DEVICE_PORT", {{"PORT", port}});
    if (!client_.WaitState("DEVICE_PORT", {"Ok", "Alert"}, portSince)) return false;
    const int since = client_.SetSwitch("CONNECTION", "CONNECT");
    return client_.WaitState("CONNECTION", {"Ok", "Alert"}, since) &&
           client_.Property("CONNECTION").state == "Ok";
}

bool DriverRig::MessageContains(const std::string& text) const {
    for (const auto& message : client_.Messages()) {
        if (message.find(text) != std::string::npos) return true;
    }
    return false;
}

std::string DriverRig::Tool(const std::string& tool, const std::vector<std::string>& args) {
    std::string command = tool + " -p " + std::to_string(port_);
    for (const auto& arg : args) command += " " + Quoted(arg);
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[4096];
        for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, n);
        pclose(pipe);
    }
    return output;
}

bool DriverRig::DriverAlive() const {
    if (driver_ <= 0 || kill(driver_, 0) != 0) return false;
    const std::string stat = ReadFile("/proc/" + std::to_string(driver_) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

void DriverRig::TearDown() {
    const std::string log = dir_.File("indiserver.log");
    if (server_ > 0) {
        EXPECT_TRUE(DriverAlive()) << "the driver ended during the test:\n" << ReadFile(log);
        kill(server_, SIGTERM);
        Reap(server_, 10s);
    }
    if (driver_ > 0 && !Reap(driver_, 20s)) {
        kill(driver_, SIGKILL);
        Reap(driver_, 5s);
        ADD_FAILURE() << "the driver did not end after indiserver";
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("asan", 0) == 0 || name.rfind("ubsan", 0) == 0) {
            ADD_FAILURE() << "sanitizer report of the driver:\n" << ReadFile(entry.path());
        }
    }
    if (emulator_) emulator_->Stop();
}

}  // namespace kavri::test
