#include "cli/Session.h"

#include <cstring>
#include <ostream>

#include "device/CommandExchange.h"
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

void Session::ExplainFailure(std::string& error) const {
    // A command on a line that was hung up fails for that reason alone, whatever it was
    // waiting for: say so rather than let it read as a controller that did not answer in time.
    if (PortHungUp(device_->port)) {
        error = std::string(kLineHungUp) + " on " + portName_ + " (" + error + ")";
    }
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

    // The device's own Connect, on one port or, with number 0, searching them all; it says
    // why each port that exists could not be used.
    int number = choice.number;
    if (!choice.devicePath.empty()) {
        PortNaming naming = PortNaming::FromEnvironment();
        naming.SetDevice(kExplicitDeviceNumber, choice.devicePath);
        SetActivePortNaming(naming);
        number = kExplicitDeviceNumber;
    }
    if (number > 0) Note("trying " + ActivePortNaming().Label(number));
    device.settings.ComPort = number;
    const bool connected = device.Connect();
    // The port of this run never replaces the stored one.
    device.settings.ComPort = storedPort;

    if (!connected) {
        error = device.failureReason;
        return false;
    }
    portName_ = choice.devicePath.empty() ? ComName(device.portNumber) : choice.devicePath;
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
