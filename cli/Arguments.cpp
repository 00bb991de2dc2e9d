#include "cli/Arguments.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace kavri::cli {

namespace {

bool LooksLikeNumber(const std::string& token) {
    // "-500" is a negative position, not an option.
    return token.size() > 1 && token[0] == '-' &&
           std::isdigit(static_cast<unsigned char>(token[1]));
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

const std::vector<CommandShape>& CommandShapes() {
    static const std::vector<CommandShape> shapes = {
        {"status", 0, 0, {}, true},
        {"filters", 0, 0, {}, true},
        {"goto", 1, 1, {}, true},
        {"home", 0, 0, {}, true},
        {"rename", 2, 2, {}, true},
        {"filter-edit", 1, 1, {"correction", "focus-shift"}, true},
        {"position", 0, 0, {}, true},
        {"move", 1, 1, {}, true},
        {"step", 1, 1, {}, true},
        {"sync", 1, 1, {}, true},
        {"temps", 0, 0, {}, true},
        {"compensation", 0, 1, {}, true},
        {"config", 0, -1, {}, true},
        {"microsteps", 0, -1, {}, true},
        {"save", 1, 1, {}, true},
        {"load", 1, 1, {}, true},
        {"log-temps", 0, 0, {"count"}, true},
        {"ports", 0, 0, {}, false},
    };
    return shapes;
}

const CommandShape* FindCommand(const std::string& name) {
    for (const auto& shape : CommandShapes()) {
        if (name == shape.name) return &shape;
    }
    return nullptr;
}

std::optional<Invocation> ParseArguments(const std::vector<std::string>& args, std::string& error) {
    Invocation result;
    const CommandShape* shape = nullptr;
    bool optionsEnded = false;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& token = args[i];
        const bool isOption =
            !optionsEnded && token.size() > 1 && token[0] == '-' && !LooksLikeNumber(token);
        if (!isOption) {
            if (token == "--") {
                optionsEnded = true;
            } else if (!shape) {
                shape = FindCommand(token);
                if (!shape) {
                    error = "unknown command '" + token + "'";
                    return std::nullopt;
                }
                result.command = token;
            } else {
                result.args.push_back(token);
            }
            continue;
        }
        if (token == "--") {
            optionsEnded = true;
            continue;
        }

        // Split "--name=value" and "-pVALUE"; a value may also be the next token.
        std::string name;
        std::optional<std::string> inlineValue;
        if (token.rfind("--", 0) == 0) {
            const auto eq = token.find('=');
            name = token.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
            if (eq != std::string::npos) inlineValue = token.substr(eq + 1);
        } else {
            const char letter = token[1];
            if (letter == 'p')
                name = "port";
            else if (letter == 'v' && token.size() == 2)
                name = "verbose";
            else if (letter == 'h' && token.size() == 2)
                name = "help";
            else {
                error = "unknown option '" + token + "'";
                return std::nullopt;
            }
            if (token.size() > 2) inlineValue = token.substr(2);
        }
        auto takeValue = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        auto flag = [&](bool& target) {
            if (inlineValue) {
                error = "option '--" + name + "' takes no value";
                return false;
            }
            target = true;
            return true;
        };

        std::string value;
        if (name == "json") {
            if (!flag(result.options.json)) return std::nullopt;
        } else if (name == "verbose") {
            if (!flag(result.options.verbose)) return std::nullopt;
        } else if (name == "trace") {
            if (!flag(result.options.trace)) return std::nullopt;
        } else if (name == "help") {
            if (!flag(result.options.help)) return std::nullopt;
        } else if (name == "version") {
            if (!flag(result.options.version)) return std::nullopt;
        } else if (name == "port" || name == "log") {
            if (!takeValue(value) || value.empty()) {
                error = "option '--" + name + "' needs a value";
                return std::nullopt;
            }
            (name == "port" ? result.options.port : result.options.logFile) = value;
        } else if (shape && std::any_of(shape->valueOptions.begin(), shape->valueOptions.end(),
                                        [&](const char* o) { return name == o; })) {
            if (!takeValue(value) || value.empty()) {
                error = "option '--" + name + "' needs a value";
                return std::nullopt;
            }
            if (result.commandFlags.count(name)) {
                error = "option '--" + name + "' given twice";
                return std::nullopt;
            }
            result.commandFlags[name] = value;
        } else {
            error = "unknown option '" + token + "'" +
                    (shape ? " for '" + result.command + "'" : std::string());
            return std::nullopt;
        }
    }

    if (result.options.help || result.options.version) return result;
    if (!shape) {
        error = "no command given";
        return std::nullopt;
    }
    const int count = static_cast<int>(result.args.size());
    if (count < shape->minArgs) {
        error = "'" + result.command + "' needs " +
                (shape->minArgs == 1 ? std::string("an argument")
                                     : std::to_string(shape->minArgs) + " arguments");
        return std::nullopt;
    }
    if (shape->maxArgs >= 0 && count > shape->maxArgs) {
        error = "too many arguments for '" + result.command + "': '" +
                result.args[static_cast<size_t>(shape->maxArgs)] + "'";
        return std::nullopt;
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

std::optional<PortChoice> ParsePortChoice(const std::string& text) {
    PortChoice choice;
    if (text.find('/') != std::string::npos) {
        choice.devicePath = text;
        return choice;
    }
    const std::string lower = Lower(text);
    if (lower == "auto") return choice;
    const std::string digits = lower.rfind("com", 0) == 0 ? lower.substr(3) : lower;
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    const auto number = ParseInteger(digits, 1, 16);
    if (!number) return std::nullopt;
    choice.number = static_cast<int>(*number);
    return choice;
}

}  // namespace kavri::cli
