#include "cli/Session.h"

#include <cstring>
#include <ostream>
#include <vector>

#include "device/CommandExchange.h"
#include "device/PortNaming.h"
#include "persist/DefaultSettingsStore.h"

namespace kavri::cli {

namespace {

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
    : options_(options), diagnostics_(diagnostics), store_(OpenDefaultSettingsStore()) {
    // What the settings store could not read is told with --verbose only, before the device
    // would print it on its log's default sink.
    for (const std::string& notice : store_->TakeNotices()) Note(notice);
    device_ = std::make_unique<WheelFocuserDevice>(*store_, timers_);
    device_->log.SetSink([this](const char* line) { OnDiagnosticLine(line); });
    for (const std::string& notice : store_->TakeNotices()) Note(notice);
    // Settings that will be kept where other programs may not look are told on every run,
    // not only with --verbose: the user has to act on it.
    if (const std::string warning = store_->StorageWarning(); !warning.empty()) {
        diagnostics_ << "kavrictl: warning: " << warning << '\n' << std::flush;
    }
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
    const std::vector<int> candidates = PortsToTry(choice.number, choice.devicePath);
    const int number = candidates.size() == 1 ? candidates.front() : 0;
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
    Note("connected on " + portName_ + (device.wheelPresent ? ", wheel" : "") +
         (device.focuserPresent ? ", focuser" : ""));
    return true;
}

std::string Session::LogFileProblem() const {
    if (!options_.logFile) return {};
    const std::string& path = *options_.logFile;
    if (!device_->log.HasFile()) return "cannot open the log file " + path + " as a regular file";
    if (device_->log.FileWriteFailed()) return "could not write all of the log file " + path;
    return {};
}

bool Session::SaveSettings(std::string& error) {
    WheelFocuserDevice& device = *device_;
    const std::string runLogFile = device.LogFile;
    device.LogFile = storedLogFile_;
    const bool saved = device.SaveRegistry();
    device.LogFile = runLogFile;
    if (!saved) error = "cannot save the program's settings to " + store_->Location();
    return saved;
}

}  // namespace kavri::cli
