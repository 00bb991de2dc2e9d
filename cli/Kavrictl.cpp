// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Kavrictl.h"

#include <ostream>

#include "cli/Command.h"
#include "cli/HelpText.h"
#include "cli/NameText.h"
#include "cli/Session.h"
#include "transport/PortChoice.h"

namespace kavri::cli {

namespace {

void PrintJson(std::ostream& out, const Json& value) {
    // Names from the controller are raw bytes; invalid UTF-8 must not abort the output.
    out << value.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

void Report(const Outcome& outcome, bool json, std::ostream& out, std::ostream& err) {
    if (outcome.status == kExitOk) {
        if (json) {
            PrintJson(out, outcome.data);
        } else {
            out << outcome.text;
        }
        return;
    }
    if (json) {
        PrintJson(out, Json{{"error", outcome.error}});
    } else {
        out << outcome.text;
    }
    // Messages may quote names and typed arguments; control characters in them stay inert.
    err << "kavrictl: " << Escaped(outcome.error) << '\n';
    if (outcome.status == kExitUsage) err << kUsageText;
}

bool JsonRequested(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        if (arg == "--") break;
        if (arg == "--json") return true;
    }
    return false;
}

}  // namespace

std::unique_ptr<Command> MakeCommand(const Invocation& invocation) {
    for (auto make :
         {MakeStatusCommand, MakeWheelCommand, MakeFocuserCommand, MakeConfigCommand,
          MakeFileCommand, MakeLogTempsCommand, MakePortsCommand, MakeCalibrateCommand}) {
        if (auto command = make(invocation)) return command;
    }
    return nullptr;
}

int RunKavrictl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string error;
    const auto invocation = ParseArguments(args, error);
    if (!invocation) {
        Report(Outcome::Failure(kExitUsage, error), JsonRequested(args), out, err);
        return kExitUsage;
    }
    const GlobalOptions& options = invocation->options;
    if (options.help) {
        out << kManualText;
        return kExitOk;
    }
    if (options.version) {
        out << "kavrictl " << KAVRI_VERSION << '\n';
        return kExitOk;
    }
    if (options.port && !ParsePortChoice(*options.port)) {
        Report(Outcome::Failure(kExitUsage, "port '" + *options.port +
                                                "' is not auto, 1..16, COM1..COM16 or a device "
                                                "path"),
               options.json, out, err);
        return kExitUsage;
    }

    const std::unique_ptr<Command> command = MakeCommand(*invocation);
    if (const std::string reason = command->Check(); !reason.empty()) {
        Report(Outcome::Failure(kExitUsage, reason), options.json, out, err);
        return kExitUsage;
    }

    CommandContext context{nullptr, out, err, options.json, &options};
    if (!invocation->talksToController) {
        const Outcome outcome = command->Run(context);
        Report(outcome, options.json, out, err);
        return outcome.status;
    }

    Session session(options, err);
    if (!session.Connect(error)) {
        Report(Outcome::Failure(kExitNoController, error), options.json, out, err);
        return kExitNoController;
    }
    // The log of this run was asked for; without it the command is not run.
    if (std::string problem = session.LogFileProblem(); !problem.empty()) {
        Report(Outcome::Failure(kExitFailed, std::move(problem)), options.json, out, err);
        return kExitFailed;
    }
    context.session = &session;
    Outcome outcome = command->Run(context);
    if (outcome.status == kExitFailed) session.ExplainFailure(outcome.error);
    if (std::string problem = session.LogFileProblem();
        outcome.status == kExitOk && !problem.empty()) {
        outcome.status = kExitFailed;
        outcome.error = std::move(problem);
    }
    Report(outcome, options.json, out, err);
    return outcome.status;
}

}  // namespace kavri::cli
