// SPDX-License-Identifier: GPL-3.0-or-later
// One kavrictl command: it checks its arguments before anything is sent, then does its work on
// a connected session and describes the result once, both as data (for --json) and as text.
#pragma once

#include <iosfwd>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/Arguments.h"
#include "cli/ExitStatus.h"

namespace kavri::cli {

class Session;
using Json = nlohmann::ordered_json;

struct Outcome {
    int status = kExitOk;
    Json data = Json::object();  // printed with --json when status is kExitOk
    std::string text;            // printed on standard output in text mode (even on failure)
    std::string error;           // one line, when status is not kExitOk

    static Outcome Failure(int status, std::string reason) {
        Outcome outcome;
        outcome.status = status;
        outcome.error = std::move(reason);
        return outcome;
    }
};

struct CommandContext {
    Session* session = nullptr;  // connected; nullptr for commands that need no controller
    std::ostream& progress;      // lines shown while a long command runs (text mode only)
    std::ostream& warnings;      // standard error
    bool json = false;
    // The run's options, for a command that connects only when it comes to need the controller.
    const GlobalOptions* options = nullptr;
};

class Command {
public:
    virtual ~Command() = default;
    // Checks the arguments; returns the reason when they are bad, empty when they are fine.
    virtual std::string Check() { return {}; }
    virtual Outcome Run(CommandContext& context) = 0;
};

// The command of `invocation` (whose name ParseArguments accepted).
std::unique_ptr<Command> MakeCommand(const Invocation& invocation);

// Factories of the command families, one per source file.
std::unique_ptr<Command> MakeWheelCommand(const Invocation& invocation);
std::unique_ptr<Command> MakeFocuserCommand(const Invocation& invocation);
std::unique_ptr<Command> MakeConfigCommand(const Invocation& invocation);
std::unique_ptr<Command> MakeFileCommand(const Invocation& invocation);
std::unique_ptr<Command> MakeStatusCommand(const Invocation& invocation);
std::unique_ptr<Command> MakeLogTempsCommand(const Invocation& invocation);
std::unique_ptr<Command> MakePortsCommand(const Invocation& invocation);
std::unique_ptr<Command> MakeCalibrateCommand(const Invocation& invocation);

}  // namespace kavri::cli
