// SPDX-License-Identifier: GPL-3.0-or-later
// One run's device: built as the desktop program builds it (settings loaded from the settings
// store, temperature-log timer on a timer service), connected on the port of this run, and on
// destruction disconnected and left to save its settings. A port or log file given on the
// command line is for this run only: the connection takes them, the stored ComPort and LogFile
// never see them.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "cli/Arguments.h"
#include "cli/ObservedTimerService.h"
#include "device/SettingsStore.h"
#include "device/WheelFocuserDevice.h"

namespace kavri::cli {

class Session {
public:
    // `diagnostics` receives the diagnostic lines (with --verbose) and the byte trace (with
    // --trace). `options.port`, when present, must have passed ParsePortChoice.
    Session(const GlobalOptions& options, std::ostream& diagnostics);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Connects with the device's Connect on this run's port or ports; false with the reason
    // (why each port that exists could not be used) when no controller answered.
    bool Connect(std::string& error);
    // Rewords the failure of a command when the line was hung up meanwhile.
    void ExplainFailure(std::string& error) const;

    WheelFocuserDevice& Device() { return *device_; }
    ObservedTimerService& Timers() { return timers_; }
    // The port connected to: "COM3", or the device path given with --port.
    const std::string& PortName() const { return portName_; }
    // A line of kavrictl's own on the diagnostic stream (only with --verbose).
    void Note(const std::string& text);

    // What went wrong with the log file asked for with --log: it could not be opened at the
    // connect, or a line could not be written to it since. Empty when all is well.
    std::string LogFileProblem() const;

    // Saves the program's settings now (the device saves them again when the run ends). False
    // with a reason when the settings store cannot be written.
    bool SaveSettings(std::string& error);

private:
    void OnDiagnosticLine(const char* line);

    GlobalOptions options_;
    std::ostream& diagnostics_;
    std::unique_ptr<SettingsStore> store_;  // the platform's: OpenDefaultSettingsStore()
    ObservedTimerService timers_;
    std::unique_ptr<WheelFocuserDevice> device_;  // last: destroyed before store and timers
    std::string portName_;
};

// True for a line of the byte trace ("<seconds> : >> ..." or "<seconds> : << ..."), as opposed
// to a diagnostic line of the log.
bool IsTraceLine(const char* line);

}  // namespace kavri::cli
