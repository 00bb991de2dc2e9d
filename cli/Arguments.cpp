// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Arguments.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>

namespace kavri::cli {

namespace {

// How many values a positional argument of a command takes.
enum class Count { One, Optional, Any };

struct ArgumentSyntax {
    const char* name;
    Count count;
};

struct CommandSyntax {
    const char* name;
    std::vector<ArgumentSyntax> arguments;
    std::vector<const char*> options;  // long names of the command's own value options
    bool talksToController = true;
    std::vector<const char*> switches = {};  // long names of the command's own flags
};

const std::vector<CommandSyntax>& Commands() {
    static const std::vector<CommandSyntax> commands = {
        {"status", {}, {}},
        {"filters", {}, {}},
        {"goto", {{"FILTER", Count::One}}, {}},
        {"home", {}, {}},
        {"rename", {{"INDEX", Count::One}, {"NAME", Count::One}}, {}},
        {"filter-edit", {{"INDEX", Count::One}}, {"correction", "focus-shift"}},
        {"position", {}, {}},
        {"move", {{"POSITION", Count::One}}, {}},
        {"step", {{"N", Count::One}}, {}},
        {"sync", {{"POSITION", Count::One}}, {}},
        {"temps", {}, {}},
        {"compensation", {{"CHOICE", Count::Optional}}, {}},
        {"config", {{"FIELD", Count::Any}}, {}},
        {"microsteps", {{"VALUE", Count::Any}}, {}},
        {"save", {{"FILE", Count::One}}, {}},
        {"load", {{"FILE", Count::One}}, {}},
        {"log-temps", {}, {"count"}},
        {"ports", {}, {}, false},
        // Reads logs only; with --apply it connects itself once it has a coefficient.
        {"calibrate",
         {{"LOG", Count::Any}},
         {"thermometer", "since", "plot"},
         false,
         {"apply", "force"}},
    };
    return commands;
}

// The parser, with access to the tokens it could not place and to how it classified each, so
// that a bad line is described in our words: an unknown option is not a surplus argument, and
// a stray word before the command is an unknown command.
class CommandLineApp : public CLI::App {
public:
    CommandLineApp() : CLI::App("", "kavrictl") {}

    struct Unplaced {
        std::string token;
        bool optionLike;     // looked like an option ("-x", "--frobnicate"), not a number
        bool beforeCommand;  // came before the command word
    };

    std::vector<Unplaced> UnplacedTokens() const {
        std::vector<Unplaced> tokens;
        for (size_t i = 0; i < missing_.size(); ++i) {
            const auto& [kind, token] = missing_[i];
            // A "--" ending the options is recorded here too; it is not a stray token.
            if (kind == CLI::detail::Classifier::POSITIONAL_MARK) continue;
            tokens.push_back(
                {token, kind != CLI::detail::Classifier::NONE, i < unplacedBeforeCommand_});
        }
        return tokens;
    }

    // Called as the command's own parsing starts.
    void MarkCommandStart() { unplacedBeforeCommand_ = missing_.size(); }

private:
    size_t unplacedBeforeCommand_ = SIZE_MAX;
};

// A value option given as "--log=" or "--log ''" names nothing.
const CLI::Validator kNonEmpty(
    [](std::string& value) { return value.empty() ? std::string("empty") : std::string(); },
    "VALUE", "non-empty");

struct CommandEntry {
    const CommandSyntax* syntax;
    CLI::App* app;
};

// The command word that was given, if any.
const CommandEntry* ParsedCommand(const std::vector<CommandEntry>& commands) {
    for (const auto& entry : commands) {
        if (entry.app->parsed()) return &entry;
    }
    return nullptr;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

std::string DescribeUnplaced(const CommandLineApp& app, const CommandEntry* command) {
    const auto tokens = app.UnplacedTokens();
    if (tokens.empty()) return "unexpected arguments";
    const auto& first = tokens.front();
    if (!command || first.beforeCommand) {
        return (first.optionLike ? "unknown option " : "unknown command ") + Quoted(first.token);
    }
    const std::string name = command->syntax->name;
    if (first.optionLike) return "unknown option " + Quoted(first.token) + " for " + Quoted(name);
    return "too many arguments for " + Quoted(name) + ": " + Quoted(first.token);
}

std::string DescribeMissingArguments(const CommandEntry& command) {
    const auto& arguments = command.syntax->arguments;
    const auto required =
        std::count_if(arguments.begin(), arguments.end(),
                      [](const ArgumentSyntax& a) { return a.count == Count::One; });
    return Quoted(command.syntax->name) + " needs " +
           (required == 1 ? std::string("an argument") : std::to_string(required) + " arguments");
}

// The option a value error is about. The parser's messages open with the option's name
// ("--port: ...", or "json was given ..." for a flag given a value).
const CLI::Option* OptionOfMessage(const std::string& message,
                                   const std::vector<const CLI::App*>& apps) {
    for (const CLI::App* app : apps) {
        for (const CLI::Option* option : app->get_options()) {
            const std::string name = option->get_name();
            if (name.rfind("--", 0) != 0) continue;
            if (message.rfind(name + ":", 0) == 0 || message.rfind(name.substr(2) + " ", 0) == 0) {
                return option;
            }
        }
    }
    return nullptr;
}

std::string DescribeOptionValue(const CLI::Error& error, const CommandLineApp& app,
                                const CommandEntry* command) {
    std::vector<const CLI::App*> apps{&app};
    if (command) apps.push_back(command->app);
    const CLI::Option* option = OptionOfMessage(error.what(), apps);
    if (!option) return error.what();
    const std::string name = Quoted(option->get_name());
    if (option->get_expected_max() == 0) return "option " + name + " takes no value";
    if (option->results().size() > 1) return "option " + name + " given twice";
    return "option " + name + " needs a value";
}

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

}  // namespace

std::optional<Invocation> ParseArguments(const std::vector<std::string>& args, std::string& error) {
    Invocation result;
    GlobalOptions& options = result.options;

    CommandLineApp app;
    // "--json=yes" is a mistake, not a way of saying --json.
    app.option_defaults()->disable_flag_override();
    // --help shows the hand-written manual, --version one line; the caller prints both.
    app.set_help_flag("-h,--help");
    app.set_version_flag("--version");

    std::string port;
    std::string logFile;
    CLI::Option* portOption = app.add_option("-p,--port", port)->check(kNonEmpty);
    CLI::Option* logOption = app.add_option("--log", logFile)->check(kNonEmpty);
    // A later -p or --log replaces an earlier one, so a wrapper script's default can be overridden.
    portOption->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    logOption->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_flag("--json", options.json);
    app.add_flag("-v,--verbose", options.verbose);
    app.add_flag("--trace", options.trace);
    app.require_subcommand(0, 1);

    std::vector<CommandEntry> commands;
    for (const CommandSyntax& syntax : Commands()) {
        CLI::App* command = app.add_subcommand(syntax.name);
        // Global options are accepted after the command word too.
        command->fallthrough();
        command->preparse_callback([&app](size_t) { app.MarkCommandStart(); });
        for (const ArgumentSyntax& argument : syntax.arguments) {
            CLI::Option* option = command->add_option(argument.name);
            if (argument.count == Count::One) option->required();
            if (argument.count == Count::Any) option->expected(0, -1)->allow_extra_args();
        }
        for (const char* name : syntax.options) {
            command->add_option(std::string("--") + name)->check(kNonEmpty);
        }
        for (const char* name : syntax.switches) command->add_flag(std::string("--") + name);
        commands.push_back({&syntax, command});
    }

    // The parser takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        return result;
    } catch (const CLI::CallForVersion&) {
        options.version = true;
        return result;
    } catch (const CLI::ExtrasError&) {
        error = DescribeUnplaced(app, ParsedCommand(commands));
        return std::nullopt;
    } catch (const CLI::RequiredError& e) {
        const CommandEntry* command = ParsedCommand(commands);
        error = command ? DescribeMissingArguments(*command) : OneLine(e.what());
        return std::nullopt;
    } catch (const CLI::ArgumentMismatch& e) {
        error = OneLine(DescribeOptionValue(e, app, ParsedCommand(commands)));
        return std::nullopt;
    } catch (const CLI::ValidationError& e) {
        error = OneLine(DescribeOptionValue(e, app, ParsedCommand(commands)));
        return std::nullopt;
    } catch (const CLI::ParseError& e) {
        error = OneLine(e.what());
        return std::nullopt;
    }

    if (portOption->count() > 0) options.port = port;
    if (logOption->count() > 0) options.logFile = logFile;

    const CommandEntry* command = ParsedCommand(commands);
    if (!command) {
        error = "no command given";
        return std::nullopt;
    }
    result.command = command->syntax->name;
    result.talksToController = command->syntax->talksToController;
    for (const CLI::Option* option : command->app->get_options()) {
        if (option->get_positional()) {
            const auto& values = option->results();
            result.args.insert(result.args.end(), values.begin(), values.end());
        } else if (option->count() > 0 && option->get_expected_max() > 0) {
            result.commandFlags[option->get_name().substr(2)] = option->results().front();
        } else if (option->count() > 0 && option->get_name().rfind("--", 0) == 0) {
            result.commandSwitches.insert(option->get_name().substr(2));
        }
    }
    return result;
}

std::optional<int64_t> ParseInteger(const std::string& text, int64_t low, int64_t high) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-') return std::nullopt;
    }
    int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last || first == last) return std::nullopt;
    if (value < low || value > high) return std::nullopt;
    return value;
}

}  // namespace kavri::cli
