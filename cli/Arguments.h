// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of kavrictl: global options anywhere, one command, its arguments and its own
// options. Parsing only checks the shape; each command checks its values before connecting.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kavri::cli {

struct GlobalOptions {
    std::optional<std::string> port;     // -p, --port: as given, checked by ParsePortChoice
                                         // (transport/PortChoice.h)
    std::optional<std::string> logFile;  // --log
    bool json = false;
    bool verbose = false;
    bool trace = false;
    bool help = false;
    bool version = false;
};

struct Invocation {
    GlobalOptions options;
    std::string command;                              // empty with --help / --version
    std::vector<std::string> args;                    // positional arguments after the command
    std::map<std::string, std::string> commandFlags;  // the command's own options, by long name
    std::set<std::string> commandSwitches;            // the command's own flags that were given
    bool talksToController = true;                    // false for a command that needs none
};

// Parses argv[1..]. On a malformed line returns std::nullopt and a one-line reason in `error`.
std::optional<Invocation> ParseArguments(const std::vector<std::string>& args, std::string& error);

// A whole-string decimal integer (leading sign allowed) within [low, high].
std::optional<int64_t> ParseInteger(const std::string& text, int64_t low, int64_t high);

}  // namespace kavri::cli
