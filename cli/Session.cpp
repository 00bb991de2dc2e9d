#include "cli/Session.h"

#include <cstring>
#include <ostream>
#include <vector>

#include "device/PortNaming.h"

namespace kavri::cli {

namespace {

// The COM number under which a device path given on the command line is opened.
constexpr int kExplicitDeviceNumber = 1;

std::string ComName(int number) {
    return "COM" + std::to_string(number);
}

}  // namespace

bool IsTraceLine(const char* line) {
    const char* separator = std::strstr(line, " : ");
    if (!separator) return false;
    const char* direction = separator + 3;
    return std::strncmp(direction, ">>", 2) == 0 || std::strncmp(direction, "<<", 2) == 0;
}

Session::Session(const GlobalOptions& options, std::ostream& diagnostics)
    : options_(options), diagnostics_(diagnostics) {
    // What the settings store could not read is told with --verbose only, before the device
    // would print it on its log's default sink.
    for (const std::string& notice : store_.TakeNotices()) Note(notice);
    device_ = std::make_unique<WheelFocuserDevice>(store_, timers_);
    device_->log.SetSink([this](const char* line) { OnDiagnosticLine(line); });
    device_->SetExchangeTrace(options_.trace);
    storedLogFile_ = device_->LogFile;
    if (options_.logFile) device_->LogFile = *options_.logFile;
}

Session::~Session() {
    device_->Disconnect();
    // The run's --log does not replace the stored log file setting.
    device_->LogFile = storedLogFile_;
    device_.reset();  // saves the settings
    SetActivePortNaming(std::nullopt);
}

void Session::OnDiagnosticLine(const char* line) {
    if (!(IsTraceLine(line) ? options_.trace : options_.verbose)) return;
    // The log's lines end with CR LF for its file; a terminal wants a plain line feed.
    std::string text(line);
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) {
        text.erase(text.size() - 2, 1);
    }
    diagnostics_ << text << std::flush;
}

void Session::Note(const std::string& text) {
    if (options_.verbose) diagnostics_ << "kavrictl: " << text << '\n' << std::flush;
}

bool Session::Connect(std::string& error) {
    WheelFocuserDevice& device = *device_;
    const int storedPort = device.settings.ComPort;

    PortChoice choice;
    choice.number = storedPort;
    if (options_.port) choice = *ParsePortChoice(*options_.port);
    if (choice.number < 0 || choice.number > kLastComPort) choice.number = 0;

    std::vector<int> candidates;
    if (!choice.devicePath.empty()) {
        PortNaming naming = PortNaming::FromEnvironment();
        naming.SetDevice(kExplicitDeviceNumber, choice.devicePath);
        SetActivePortNaming(naming);
        candidates.push_back(kExplicitDeviceNumber);
    } else if (choice.number > 0) {
        candidates.push_back(choice.number);
    } else {
        for (int n = kFirstComPort; n <= kLastComPort; ++n) candidates.push_back(n);
    }

    // The search is the device's own Connect on one port at a time, in ascending order, so
    // that the run knows which port answered.
    bool connected = false;
    for (int n : candidates) {
        device.settings.ComPort = n;
        const std::string name = choice.devicePath.empty() ? ComName(n) : choice.devicePath;
        Note("trying " + name + " (" + ActivePortNaming().DevicePath(n) + ")");
        if (device.Connect()) {
            portName_ = name;
            connected = true;
            break;
        }
    }
    // The port of this run never replaces the stored one.
    device.settings.ComPort = storedPort;

    if (!connected) {
        if (!choice.devicePath.empty()) {
            error = "no controller found on " + choice.devicePath;
        } else if (choice.number > 0) {
            error = "no controller found on " + ComName(choice.number) + " (" +
                    ActivePortNaming().DevicePath(choice.number) + ")";
        } else {
            error = "no controller found on any of COM1..COM16";
        }
        return false;
    }
    // The device carries on without a file it cannot create; a file asked for on the command
    // line that is not being written deserves a word.
    if (options_.logFile && !device.log.HasFile()) {
        diagnostics_ << "kavrictl: cannot write the log file " << *options_.logFile << '\n'
                     << std::flush;
    }
    Note("connected on " + portName_ + (device.wheelPresent ? ", wheel" : "") +
         (device.focuserPresent ? ", focuser" : ""));
    return true;
}

}  // namespace kavri::cli
