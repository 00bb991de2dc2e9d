// The command-line grammar and the configuration field table, in-process.

#include <gtest/gtest.h>

#include "cli/Arguments.h"
#include "cli/ConfigFields.h"

namespace kavri::cli {
namespace {

std::optional<Invocation> Parse(const std::vector<std::string>& args) {
    std::string error;
    auto result = ParseArguments(args, error);
    EXPECT_EQ(result.has_value(), error.empty()) << error;
    return result;
}

TEST(ArgumentsTest, OptionsGoAnywhereAndNegativeNumbersArePositional) {
    const auto parsed = Parse({"step", "-25", "--json", "-pCOM2", "--log=/tmp/x.log"});
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->command, "step");
    EXPECT_EQ(parsed->args, std::vector<std::string>{"-25"});
    EXPECT_TRUE(parsed->options.json);
    EXPECT_EQ(parsed->options.port, "COM2");
    EXPECT_EQ(parsed->options.logFile, "/tmp/x.log");

    const auto named = Parse({"rename", "2", "--", "--odd"});
    ASSERT_TRUE(named);
    EXPECT_EQ(named->args, (std::vector<std::string>{"2", "--odd"}));

    const auto edit = Parse({"filter-edit", "1", "--focus-shift", "none", "--correction=-4"});
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->commandFlags.at("focus-shift"), "none");
    EXPECT_EQ(edit->commandFlags.at("correction"), "-4");
}

TEST(ArgumentsTest, CommandOptionsBelongToTheirCommand) {
    std::string error;
    EXPECT_FALSE(ParseArguments({"--count", "3", "log-temps"}, error));  // before the command
    EXPECT_FALSE(ParseArguments({"log-temps", "--count", "1", "--count", "2"}, error));
    EXPECT_EQ(error, "option '--count' given twice");
    EXPECT_FALSE(ParseArguments({"goto", "1", "--correction", "2"}, error));
    EXPECT_EQ(error, "unknown option '--correction' for 'goto'");
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
