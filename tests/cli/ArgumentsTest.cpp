// The command-line grammar and the configuration field table, in-process.

#include <gtest/gtest.h>

#include "cli/Arguments.h"
#include "cli/ConfigFields.h"

namespace kavri::cli {
namespace {

using Args = std::vector<std::string>;

std::optional<Invocation> Parse(const Args& args) {
    std::string error;
    auto result = ParseArguments(args, error);
    EXPECT_EQ(result.has_value(), error.empty()) << error;
    return result;
}

// The one-line reason for a refused line; empty when the line was accepted.
std::string Refusal(const Args& args) {
    std::string error;
    const auto result = ParseArguments(args, error);
    EXPECT_EQ(result.has_value(), error.empty()) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    return error;
}

TEST(ArgumentsTest, OptionsGoAnywhereAndNegativeNumbersArePositional) {
    const auto parsed = Parse({"step", "-25", "--json", "-pCOM2", "--log=/tmp/x.log", "-v"});
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->command, "step");
    EXPECT_EQ(parsed->args, Args{"-25"});
    EXPECT_TRUE(parsed->options.json);
    EXPECT_TRUE(parsed->options.verbose);
    EXPECT_FALSE(parsed->options.trace);
    EXPECT_EQ(parsed->options.port, "COM2");
    EXPECT_EQ(parsed->options.logFile, "/tmp/x.log");

    const auto move = Parse({"--trace", "move", "-100", "--port", "3"});
    ASSERT_TRUE(move);
    EXPECT_EQ(move->args, Args{"-100"});
    EXPECT_TRUE(move->options.trace);
    EXPECT_EQ(move->options.port, "3");
    EXPECT_FALSE(move->options.logFile);

    const auto table = Parse({"microsteps", "-1", "--json", "0", "-255"});
    ASSERT_TRUE(table);
    EXPECT_EQ(table->args, (Args{"-1", "0", "-255"}));

    const auto config = Parse({"config", "focuserSpeed=250", "-v", "thermoCompStepsPerDegree=-4"});
    ASSERT_TRUE(config);
    EXPECT_EQ(config->args, (Args{"focuserSpeed=250", "thermoCompStepsPerDegree=-4"}));
    EXPECT_TRUE(Parse({"config"})->args.empty());
}

TEST(ArgumentsTest, ArgumentsMayLookLikeCommandsOrOptions) {
    // A command word where an argument is due is the argument.
    EXPECT_EQ(Parse({"goto", "status"})->args, Args{"status"});
    EXPECT_EQ(Parse({"rename", "1", "ports"})->args, (Args{"1", "ports"}));
    EXPECT_EQ(Parse({"compensation", "off"})->args, Args{"off"});
    // After "--" a name may start with dashes.
    EXPECT_EQ(Parse({"rename", "2", "--", "--odd"})->args, (Args{"2", "--odd"}));

    const auto edit = Parse({"filter-edit", "1", "--focus-shift", "none", "--correction", "-4"});
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->args, Args{"1"});
    EXPECT_EQ(edit->commandFlags.at("focus-shift"), "none");
    EXPECT_EQ(edit->commandFlags.at("correction"), "-4");
    EXPECT_EQ(Parse({"filter-edit", "1", "--correction=-4"})->commandFlags.at("correction"), "-4");
    EXPECT_EQ(Parse({"log-temps", "--count", "3"})->commandFlags.at("count"), "3");
    EXPECT_TRUE(Parse({"log-temps"})->commandFlags.empty());
}

TEST(ArgumentsTest, OnlyPortsRunsWithoutAController) {
    EXPECT_FALSE(Parse({"ports"})->talksToController);
    for (const char* name : {"status", "filters", "home", "position", "temps", "log-temps"}) {
        EXPECT_TRUE(Parse({name})->talksToController) << name;
    }
}

TEST(ArgumentsTest, ALaterGlobalOptionReplacesAnEarlierOne) {
    const auto parsed = Parse({"-p", "1", "--json", "status", "--port", "COM4", "--json", "-v",
                               "--verbose", "--log", "a", "--log", "b"});
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->options.port, "COM4");
    EXPECT_EQ(parsed->options.logFile, "b");
    EXPECT_TRUE(parsed->options.json);
    EXPECT_TRUE(parsed->options.verbose);
}

TEST(ArgumentsTest, CommandOptionsBelongToTheirCommand) {
    EXPECT_EQ(Refusal({"--count", "3", "log-temps"}), "unknown option '--count'");
    EXPECT_EQ(Refusal({"log-temps", "--count", "1", "--count", "2"}),
              "option '--count' given twice");
    EXPECT_EQ(Refusal({"goto", "1", "--correction", "2"}),
              "unknown option '--correction' for 'goto'");
    EXPECT_EQ(Refusal({"status", "--count", "3"}), "unknown option '--count' for 'status'");
}

TEST(ArgumentsTest, BadLinesAreNamedInOneLine) {
    const std::vector<std::pair<Args, std::string>> cases = {
        {{}, "no command given"},
        {{"--json"}, "no command given"},
        {{"bogus"}, "unknown command 'bogus'"},
        {{"bogus", "status"}, "unknown command 'bogus'"},
        {{"-x", "status"}, "unknown option '-x'"},
        {{"--frobnicate", "status"}, "unknown option '--frobnicate'"},
        {{"status", "-x"}, "unknown option '-x' for 'status'"},
        {{"status", "extra"}, "too many arguments for 'status': 'extra'"},
        {{"status", "status"}, "too many arguments for 'status': 'status'"},
        {{"move", "-100", "-5"}, "too many arguments for 'move': '-5'"},
        {{"compensation", "1", "2"}, "too many arguments for 'compensation': '2'"},
        {{"goto"}, "'goto' needs an argument"},
        {{"rename", "1"}, "'rename' needs 2 arguments"},
        {{"-p"}, "option '--port' needs a value"},
        {{"status", "--log"}, "option '--log' needs a value"},
        {{"--log", "", "status"}, "option '--log' needs a value"},
        {{"filter-edit", "1", "--correction"}, "option '--correction' needs a value"},
        {{"filter-edit", "1", "--focus-shift="}, "option '--focus-shift' needs a value"},
        {{"--json=yes", "status"}, "option '--json' takes no value"},
        {{"status", "--trace=no"}, "option '--trace' takes no value"},
    };
    for (const auto& [args, reason] : cases) {
        std::string shown;
        for (const auto& arg : args) shown += arg + ' ';
        EXPECT_EQ(Refusal(args), reason) << shown;
    }
}

TEST(ArgumentsTest, HelpAndVersionNeedNoCommand) {
    for (const Args& args : {Args{"--help"}, Args{"-h", "status"}, Args{"goto", "--help"}}) {
        const auto parsed = Parse(args);
        ASSERT_TRUE(parsed) << args[0];
        EXPECT_TRUE(parsed->options.help) << args[0];
        EXPECT_FALSE(parsed->options.version);
    }
    const auto version = Parse({"--version", "goto"});
    ASSERT_TRUE(version);
    EXPECT_TRUE(version->options.version);
    EXPECT_FALSE(version->options.help);
}

TEST(ArgumentsTest, PortChoices) {
    EXPECT_EQ(ParsePortChoice("auto")->number, 0);
    EXPECT_EQ(ParsePortChoice("AUTO")->number, 0);
    EXPECT_EQ(ParsePortChoice("16")->number, 16);
    EXPECT_EQ(ParsePortChoice("com3")->number, 3);
    EXPECT_EQ(ParsePortChoice("/dev/ttyUSB0")->devicePath, "/dev/ttyUSB0");
    for (const char* bad : {"0", "17", "COM", "COM-1", "COM+3", "ttyUSB0", ""}) {
        EXPECT_FALSE(ParsePortChoice(bad)) << bad;
    }
}

TEST(ArgumentsTest, IntegersAreWholeStringsWithinTheirRange) {
    EXPECT_EQ(ParseInteger("+7", 0, 10), 7);
    EXPECT_EQ(ParseInteger("-32768", -32768, 32767), -32768);
    for (const char* bad : {"", "+", "-", "+-5", "5 ", "0x10", "1e3", "99999999999999999999"}) {
        EXPECT_FALSE(ParseInteger(bad, INT64_MIN, INT64_MAX)) << bad;
    }
    EXPECT_FALSE(ParseInteger("11", 0, 10));
}

TEST(ConfigFieldsTest, FieldsAddressTheImageMembers) {
    ControllerConfig config{};
    WriteConfigField(config, *FindConfigField("thermoCompStepsPerDegree"), -40);
    WriteConfigField(config, *FindConfigField("maxStepsBetweenFilters"), 65535);
    WriteConfigField(config, *FindConfigField("focuserIdlePower"), 255);
    EXPECT_EQ(static_cast<int16_t>(config.thermoCompStepsPerDegree), -40);
    EXPECT_EQ(static_cast<uint16_t>(config.maxStepsBetweenFilters), 65535);
    EXPECT_EQ(config.focuserIdlePower, 255);
    EXPECT_EQ(config.focuserStepMicrosteps, 0);  // the neighbour is untouched
    EXPECT_EQ(ReadConfigField(config, *FindConfigField("thermoCompStepsPerDegree")), -40);
    EXPECT_EQ(FindConfigField("filterNames"), nullptr);
}

}  // namespace
}  // namespace kavri::cli
