// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Session.h"

#include <cstring>
#include <ostream>
#include <vector>

#include "device/CommandExchange.h"
#include "device/DeviceOperations.h"
#include "persist/DefaultSettingsStore.h"
#include "transport/PortNaming.h"

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
}

Session::~Session() {
    device_->Disconnect();
    device_.reset();  // saves the settings
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
    if (!PortHungUp(device_->port)) return;
    if (error.ends_with(kLineHungUp)) {
        error += " on " + portName_;  // the device's own reason already says it
    } else {
        error = std::string(kLineHungUp) + " on " + portName_ + " (" + error + ")";
    }
}

void Session::Note(const std::string& text) {
    if (options_.verbose) diagnostics_ << "kavrictl: " << text << '\n' << std::flush;
}

bool Session::Connect(std::string& error) {
    WheelFocuserDevice& device = *device_;
    // This run's port, or the stored one; a stored number outside COM1..COM16 searches them all.
    PortChoice choice{IsComPortNumber(device.settings.ComPort) ? device.settings.ComPort : 0, {}};
    if (options_.port) choice = *ParsePortChoice(*options_.port);
    if (choice.IsPath()) {
        Note("trying " + choice.devicePath);
    } else if (IsComPortNumber(choice.number)) {
        Note("trying " + PortNaming::FromEnvironment().Label(choice.number));
    }
    // For this run only: neither the port nor the log file is stored. The connection says why
    // each port that exists could not be used.
    if (!ConnectTo(device, {.port = choice, .logFile = options_.logFile})) {
        error = device.failureReason;
        return false;
    }
    portName_ = choice.IsPath() ? choice.devicePath : ComName(device.portNumber);
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
    const bool saved = device_->SaveRegistry();
    if (!saved) error = "cannot save the program's settings to " + store_->Location();
    return saved;
}

}  // namespace kavri::cli
