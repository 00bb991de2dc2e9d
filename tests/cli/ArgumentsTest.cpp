// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line grammar, in-process.

#include <gtest/gtest.h>

#include <sstream>

#include "cli/Arguments.h"
#include "transport/PortChoice.h"

namespace kavri::cli {
namespace {

using Args = std::vector<std::string>;

// An accepted line in one string: the command, its arguments, its own options, then the global
// options that were given; a refused one as "error: " and its reason, which is one line.
std::string Parsed(const Args& args) {
    std::string error;
    const auto parsed = ParseArguments(args, error);
    if (!parsed) return error.find('\n') == std::string::npos ? "error: " + error : "two lines";
    std::ostringstream out;
    out << parsed->command;
    for (const auto& arg : parsed->args) out << " " << arg;
    for (const auto& [name, value] : parsed->commandFlags) out << " --" << name << "=" << value;
    for (const auto& name : parsed->commandSwitches) out << " --" << name;
    const GlobalOptions& o = parsed->options;
    out << " |" << (o.port ? " port=" + *o.port : "") << (o.logFile ? " log=" + *o.logFile : "")
        << (o.json ? " json" : "") << (o.verbose ? " verbose" : "") << (o.trace ? " trace" : "")
        << (o.help ? " help" : "") << (o.version ? " version" : "")
        << (parsed->talksToController ? "" : " offline");
    return out.str();
}

TEST(ArgumentsTest, LinesAreParsedOrRefusedInOneLine) {
    const std::pair<Args, std::string> cases[] = {
        // Options go anywhere; negative numbers are arguments; a later option replaces one.
        {{"step", "-25", "--json", "-pCOM2", "--log=/tmp/x.log", "-v"},
         "step -25 | port=COM2 log=/tmp/x.log json verbose"},
        {{"--trace", "move", "-100", "--port", "3"}, "move -100 | port=3 trace"},
        {{"microsteps", "-1", "--json", "0", "-255"}, "microsteps -1 0 -255 | json"},
        {{"config", "focuserSpeed=250", "-v", "thermoCompStepsPerDegree=-4"},
         "config focuserSpeed=250 thermoCompStepsPerDegree=-4 | verbose"},
        {{"-p", "1", "status", "--port", "COM4", "--log", "a", "--log", "b", "--verbose"},
         "status | port=COM4 log=b verbose"},
        // A command word or an option where an argument is due is the argument.
        {{"goto", "status"}, "goto status |"},
        {{"rename", "1", "ports"}, "rename 1 ports |"},
        {{"rename", "2", "--", "--odd"}, "rename 2 --odd |"},
        {{"filter-edit", "1", "--focus-shift", "none", "--correction=-4"},
         "filter-edit 1 --correction=-4 --focus-shift=none |"},
        {{"log-temps", "--count", "3"}, "log-temps --count=3 |"},
        {{"calibrate", "a.csv", "--apply", "--since", "2024-03-01"},
         "calibrate a.csv --since=2024-03-01 --apply | offline"},
        {{"ports"}, "ports | offline"},
        {{"--help"}, " | help"},
        {{"goto", "--help"}, " | help"},
        {{"--version", "goto"}, " | version"},
        // Refused.
        {{}, "error: no command given"},
        {{"--json"}, "error: no command given"},
        {{"bogus", "status"}, "error: unknown command 'bogus'"},
        {{"-x", "status"}, "error: unknown option '-x'"},
        {{"--count", "3", "log-temps"}, "error: unknown option '--count'"},
        {{"status", "-x"}, "error: unknown option '-x' for 'status'"},
        {{"goto", "1", "--correction", "2"}, "error: unknown option '--correction' for 'goto'"},
        {{"log-temps", "--count", "1", "--count", "2"}, "error: option '--count' given twice"},
        {{"status", "status"}, "error: too many arguments for 'status': 'status'"},
        {{"move", "-100", "-5"}, "error: too many arguments for 'move': '-5'"},
        {{"compensation", "1", "2"}, "error: too many arguments for 'compensation': '2'"},
        {{"goto"}, "error: 'goto' needs an argument"},
        {{"rename", "1"}, "error: 'rename' needs 2 arguments"},
        {{"-p"}, "error: option '--port' needs a value"},
        {{"--log", "", "status"}, "error: option '--log' needs a value"},
        {{"filter-edit", "1", "--focus-shift="}, "error: option '--focus-shift' needs a value"},
        {{"status", "--trace=no"}, "error: option '--trace' takes no value"},
    };
    for (const auto& [args, expected] : cases) {
        std::string shown;
        for (const auto& arg : args) shown += arg + ' ';
        EXPECT_EQ(Parsed(args), expected) << shown;
    }
}

// One port parser for every program: Auto, COM1..COM16 (blanks around ignored), or a device
// path - a '/', or a Windows device name, the only way to name a port above COM16 there.
TEST(ArgumentsTest, PortChoicesAndIntegers) {
    const std::pair<const char*, int> numbers[] = {{"AUTO", 0}, {" auto ", 0}, {"16", 16},
                                                   {"com3", 3}, {"COM16", 16}};
    for (const auto& [text, number] : numbers) EXPECT_EQ(ParsePortChoice(text)->number, number);
    for (const char* path : {"/dev/ttyUSB0", "\\\\.\\COM20", "\\\\.\\com3", "\\\\?\\COM21"}) {
        EXPECT_EQ(ParsePortChoice(path)->devicePath, path);
    }
    for (const char* bad : {"0", "17", "COM", "COM0", "COM-1", "COM+3", "COM20", "3x", "ttyUSB0",
                            "", "\\\\.\\", "\\\\server\\share", "C:\\COM20"}) {
        EXPECT_FALSE(ParsePortChoice(bad)) << bad;
    }
    EXPECT_EQ(PortChoiceText({0, {}}), "auto");
    EXPECT_EQ(PortChoiceText({7, {}}), "COM7");
    EXPECT_EQ(PortChoiceText({99, {}}), "auto");
    EXPECT_EQ(ParseInteger("+7", 0, 10), 7);
    EXPECT_EQ(ParseInteger("-32768", -32768, 32767), -32768);
    for (const char* bad : {"", "+", "-", "+-5", "5 ", "0x10", "1e3", "99999999999999999999"}) {
        EXPECT_FALSE(ParseInteger(bad, INT64_MIN, INT64_MAX)) << bad;
    }
    EXPECT_FALSE(ParseInteger("11", 0, 10));
}

}  // namespace
}  // namespace kavri::cli
