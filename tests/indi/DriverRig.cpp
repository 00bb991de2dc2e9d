// SPDX-License-Identifier: GPL-3.0-or-later
#include "indi/DriverRig.h"

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <thread>

namespace kavri::test {

namespace {

using namespace std::chrono_literals;

// The value of attribute `name` of `element`; empty when it has none.
std::string Attribute(XMLEle* element, const char* name) {
    const char* value = findXMLAttValu(element, name);
    return value ? value : "";
}

constexpr const char* kDevice = "Kavri Wheel Focuser";

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

// Waits up to `timeout` for child `pid` to end; true when it did.
bool Reap(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// Adds `option` to the colon-separated options in environment variable `name`.
void AddOption(const char* name, const std::string& option) {
    const char* old = std::getenv(name);
    setenv(name, (old && *old ? std::string(old) + ":" : std::string()).append(option).c_str(), 1);
}

}  // namespace

IndiClient::~IndiClient() {
    if (fd_ >= 0) close(fd_);
    delLilXML(parser_);
}

bool IndiClient::Connect(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    Send("<getProperties version='1.7'/>");
    return true;
}

// The requests are far smaller than the socket's buffer: one send takes them whole.
void IndiClient::Send(const std::string& xml) {
    EXPECT_EQ(send(fd_, xml.data(), xml.size(), MSG_NOSIGNAL), static_cast<ssize_t>(xml.size()));
}

void IndiClient::Ask(const std::string& property) {
    Send("<getProperties version='1.7' device='" + std::string(kDevice) + "' name='" + property +
         "'/>");
}

int IndiClient::Set(const std::string& kind, const std::string& property,
                    const std::map<std::string, std::string>& values) {
    std::string xml = "<new" + kind + "Vector device='" + kDevice + "' name='" + property + "'>";
    for (auto [element, value] : values) {
        xml += "<one" + kind + " name='" + element + "'>" + entityXML(value.data()) + "</one" +
               kind + ">";
    }
    xml += "</new" + kind + "Vector>";
    const int before = properties_[property].updates;
    Send(xml);
    return before;
}

bool IndiClient::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[65536];
        const ssize_t n = read(fd_, chunk, sizeof chunk);
        if (n <= 0) return done();
        for (ssize_t i = 0; i < n; ++i) {
            char error[2048];  // MAXRBUF, what INDI's own readers give lilxml
            if (XMLEle* element = readXMLEle(parser_, chunk[i], error)) {
                Apply(element);
                delXMLEle(element);
            } else if (error[0] != '\0') {
                ADD_FAILURE() << "not INDI's XML: " << error;
            }
        }
    }
    return true;
}

bool IndiClient::WaitState(const std::string& property, const std::vector<std::string>& states,
                           int since, std::chrono::milliseconds timeout) {
    return WaitFor(
        [&] {
            const IndiProperty& p = properties_[property];
            return p.updates > since &&
                   std::find(states.begin(), states.end(), p.state) != states.end();
        },
        timeout);
}

// Applies a definition, an update or a message.
void IndiClient::Apply(XMLEle* root) {
    const std::string tag = tagXMLEle(root);
    const std::string name = Attribute(root, "name");
    const std::string message = Attribute(root, "message");
    if (tag == "message") {
        messages_.push_back(message);
        return;
    }
    if (tag == "delProperty") {
        for (auto& [key, property] : properties_) {
            if (name.empty() || key == name) property.defined = false;
        }
        if (!message.empty()) messages_.push_back(message);
        return;
    }
    if (tag.size() < 9 || tag.compare(tag.size() - 6, 6, "Vector") != 0) return;
    IndiProperty& p = properties_[name];
    const bool definition = tag.rfind("def", 0) == 0;
    if (definition) {
        p.defined = true;
        p.values.clear();
        p.labels = {{"", Attribute(root, "label")}};
    } else if (!p.defined) {
        undefinedUpdates_.push_back(name);
    }
    if (!Attribute(root, "state").empty()) p.state = Attribute(root, "state");
    if (!message.empty()) messages_.push_back(p.message = message);
    ++p.updates;
    p.history.push_back({p.state, message, std::chrono::steady_clock::now()});
    for (XMLEle* child = nextXMLEle(root, 1); child; child = nextXMLEle(root, 0)) {
        const std::string element = Attribute(child, "name");
        p.values[element] = pcdataXMLEle(child);  // without the whitespace around it
        if (definition) p.labels[element] = Attribute(child, "label");
    }
}

std::vector<std::string> IndiProperty::StatesSince(int since) const {
    std::vector<std::string> states;
    for (size_t i = static_cast<size_t>(std::max(since, 0)); i < history.size(); ++i) {
        states.push_back(history[i].state);
    }
    return states;
}

std::vector<std::string> IndiClient::Defined() const {
    std::vector<std::string> names;
    for (const auto& [name, property] : properties_) {
        if (property.defined) names.push_back(name);
    }
    return names;
}

void DriverRig::RestartEmulator() {
    if (emulator_) emulator_->Stop();
    sim::EmulatorOptions options;
    options.fast = fast_;
    options.log = [](const std::string&) {};
    emulator_ = std::make_unique<sim::Emulator>(options);
    std::string error;
    ASSERT_TRUE(emulator_->Start(&error)) << error;
}

bool DriverRig::Reconnect(const std::string& port) {
    if (client_.Value("CONNECTION", "CONNECT") == "On") {
        const int since = client_.SetSwitch("CONNECTION", "DISCONNECT");
        if (!client_.WaitState("CONNECTION", {"Idle", "Alert"}, since)) return false;
    }
    return ConnectTo(port);
}

void DriverRig::Start(bool fast, int com) {
    // The driver is indiserver's child; when indiserver ends it comes to this process, which
    // can then wait for its exit (and its sanitizer's last word).
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    fast_ = fast;
    RestartEmulator();
    if (HasFatalFailure()) return;
    if (com > 0) {
        const std::filesystem::path ports = dir_.File("kavri/ports");
        std::filesystem::create_directories(ports);
        std::filesystem::create_symlink(emulator_->SlavePath(),
                                        ports / ("com" + std::to_string(com)));
    }

    // The environment indiserver passes on to the driver: this test's folders (as ChildProgram
    // sets them for indiserver), and sanitizer reports into them. (This process read its own
    // sanitizer options when it started.) The driver itself knows libindi's own leaks, as at any
    // exit outside the tests.
    setenv("XDG_CONFIG_HOME", dir_.Path().c_str(), 1);
    setenv("XDG_DATA_HOME", dir_.File("data").c_str(), 1);
    setenv("HOME", dir_.Path().c_str(), 1);
    AddOption("ASAN_OPTIONS", "log_path=" + dir_.File("asan"));
    AddOption("UBSAN_OPTIONS", "log_path=" + dir_.File("ubsan"));
    setenv("LSAN_OPTIONS", "print_suppressions=0", 1);

    const std::string log = dir_.File("stderr");  // indiserver's, where ChildProgram puts it
    int port = 0;
    for (int attempt = 0; attempt < 3 && driver_ < 0; ++attempt) {
        port = FreeLoopbackPort();
        const std::string portText = std::to_string(port);
        server_.emplace("indiserver",
                        std::vector<std::string>{"-v", "-r", "0", "-p", portText, "-u",
                                                 dir_.File("socket"), INDI_DRIVER_PROGRAM},
                        dir_.Path());
        // indiserver says where it listens and which process runs the driver.
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline && driver_ < 0) {
            if (server_->Wait(0) >= 0) break;  // port taken: try another
            const std::string text = ReadFileText(log);
            const size_t pid = text.find("pid=");
            if (pid != std::string::npos &&
                text.find("listening to port " + portText) != std::string::npos) {
                driver_ = std::atoi(text.c_str() + pid + 4);
            }
            std::this_thread::sleep_for(20ms);
        }
    }
    ASSERT_GT(driver_, 0) << ReadFileText(log);
    ASSERT_TRUE(client_.Connect(port));
    ASSERT_TRUE(client_.WaitFor([&] { return client_.Property("DEVICE_PORT").updates > 0; }, 20s))
        << ReadFileText(log);
}

bool DriverRig::ConnectTo(const std::string& port) {
    const int portSince = client_.Set("Text", "DEVICE_PORT", {{"PORT", port}});
    if (!client_.WaitState("DEVICE_PORT", {"Ok", "Alert"}, portSince)) return false;
    const int since = client_.SetSwitch("CONNECTION", "CONNECT");
    if (!client_.WaitState("CONNECTION", {"Ok", "Alert"}, since)) return false;
    // What the connection defined and updated arrives before the answer to a request sent now,
    // so that no later request takes one of those updates for its own result.
    const int answered = client_.Property("CONNECTION").updates;
    client_.Ask("CONNECTION");
    return client_.WaitFor([&] { return client_.Property("CONNECTION").updates > answered; },
                           20s) &&
           client_.Property("CONNECTION").state == "Ok";
}

void DriverRig::ExpectEnds(const std::string& property, const std::string& state, int since) {
    SCOPED_TRACE(property);
    EXPECT_TRUE(client_.WaitState(property, {"Ok", "Alert"}, since));
    EXPECT_EQ(client_.Property(property).state, state) << client_.Property(property).message;
}

bool DriverRig::DriverAlive() const {
    if (driver_ <= 0 || kill(driver_, 0) != 0) return false;
    const std::string stat = ReadFileText("/proc/" + std::to_string(driver_) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

void DriverRig::TearDown() {
    const std::string log = dir_.File("stderr");
    if (server_) {
        EXPECT_TRUE(DriverAlive()) << "the driver ended during the test:\n" << ReadFileText(log);
        server_->Signal(SIGTERM);
        server_->Wait(10000);
    }
    if (driver_ > 0 && !Reap(driver_, 20s)) {
        kill(driver_, SIGKILL);
        Reap(driver_, 5s);
        ADD_FAILURE() << "the driver did not end after indiserver";
    }
    // A client logs "Could not find property" for each of these.
    EXPECT_EQ(client_.UndefinedUpdates(), std::vector<std::string>{});
    if (HasFailure()) {
        const std::string text = ReadFileText(log);
        std::cerr << "indiserver's log, last lines:\n"
                  << text.substr(text.size() > 4000 ? text.size() - 4000 : 0) << "\n";
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("asan", 0) == 0 || name.rfind("ubsan", 0) == 0) {
            ADD_FAILURE() << "sanitizer report of the driver:\n" << ReadFileText(entry.path());
        }
    }
    if (emulator_) emulator_->Stop();
}

}  // namespace kavri::test
