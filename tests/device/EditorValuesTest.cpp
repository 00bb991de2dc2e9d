// SPDX-License-Identifier: GPL-3.0-or-later
// What the settings dialogs compute without widgets: the microstep curves, the configuration
// image's value mappings, names in the controller's code page, and the rule every front end
// applies to the names a user gives filters and thermometers.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "device/ConfigMappings.h"
#include "device/ControllerConfig.h"
#include "device/Cp1251.h"
#include "device/MicrostepCurves.h"
#include "device/NameRule.h"

namespace kavri::test {
namespace {

using Table = std::array<uint8_t, kMicrostepTableCapacity>;

// What the table dialog does when a generator button is pressed: shape, bend, show the text
// and read it back (which mirrors the table).
Table Generate(MicrostepCurve curve, int n, const char* exponent, bool inverse = false) {
    MicrostepShape shape{};
    Table table{};
    GenerateMicrostepShape(curve, n, shape);
    ApplyMicrostepShape(shape, n, ParseShapeExponent(exponent), inverse, table.data());
    ParseMicrostepTable(FormatMicrostepTable(table.data(), n), n, table.data());
    return table;
}

std::vector<int> Head(const Table& table, int n) {
    return {table.begin(), table.begin() + n};
}

TEST(MicrostepCurves, ExactLevelsAtTheEdgesAndEveryCurveRisesToFullLevelAtTheQuarterPeriod) {
    using V = std::vector<int>;
    EXPECT_EQ(Head(Generate(MicrostepCurve::Sin, 8, "0"), 8),
              (V{0, 97, 180, 236, 255, 236, 180, 97}));
    // The dialog's opening bend; the tangent cut at one; inverted.
    EXPECT_EQ(Head(Generate(MicrostepCurve::Sin, 8, "1.0"), 4), (V{0, 103, 185, 237}));
    EXPECT_EQ(Head(Generate(MicrostepCurve::Tan, 8, "0"), 4), (V{0, 105, 255, 255}));
    Table inverted = Generate(MicrostepCurve::Sin, 8, "0", true);
    EXPECT_EQ(Head(inverted, 8), (V{255, 158, 75, 19, 0, 19, 75, 158}));
    // n = 7: the last entry lies outside the mirror and closes the period like entry 0.
    const Table odd = Generate(MicrostepCurve::Tan, 7, "0");
    EXPECT_EQ(FormatMicrostepTable(odd.data(), 7), "0 147 255 255 ");
    EXPECT_EQ(Head(odd, 7), (V{0, 147, 255, 255, 255, 147, 0}));
    // Every curve rises from zero to full level at the quarter period and bends as asked.
    for (int n = 2; n <= kMicrostepTableCapacity; ++n) {
        for (const auto curve :
             {MicrostepCurve::Sin, MicrostepCurve::Tan, MicrostepCurve::SinSin3}) {
            const Table table = Generate(curve, n, "0");
            // For some counts the rounded quarter-period angle lies just past pi/2.
            ASSERT_EQ(table[n / 2], 255) << "curve " << static_cast<int>(curve) << ", n = " << n;
            ASSERT_EQ(table[0], 0);
            for (int i = 1; i <= n / 2; ++i) ASSERT_LE(table[i - 1], table[i]) << n << ":" << i;
        }
    }
    const Table sin = Generate(MicrostepCurve::Sin, 32, "0");
    const Table flat = Generate(MicrostepCurve::SinSin3, 32, "0");
    const Table lifted = Generate(MicrostepCurve::Sin, 32, "5");
    const Table lowered = Generate(MicrostepCurve::Sin, 32, "-5");
    for (int i = 1; i < 12; ++i) {
        EXPECT_GE(flat[i], sin[i]) << i;  // a flatter top
        EXPECT_GT(lifted[i], sin[i]) << i;
        EXPECT_LT(lowered[i], sin[i]) << i;
    }
    EXPECT_GT(flat[11], sin[11]);
    // Wild exponents still give levels in range: every entry written, none past n.
    MicrostepShape shape{};
    GenerateMicrostepShape(MicrostepCurve::Sin, 8, shape);
    for (const char* text : {"1e308", "-inf", "nan", "-400"}) {
        Table table;
        table.fill(7);
        ApplyMicrostepShape(shape, 8, ParseShapeExponent(text), false, table.data());
        EXPECT_EQ(std::count(table.begin(), table.begin() + 8, 7) + table[0], 0) << text;
        EXPECT_EQ(table[8], 7) << text;
    }
}

TEST(MicrostepCurves, TheTextIsReadLikeTheCLibraryInAnyLocale) {
    const std::pair<const char*, double> exponents[] = {
        {"1.0", 1},  {"  -2.5xyz", -2.5}, {"+3", 3}, {"1e1", 10},
        {".5", 0.5}, {"1,5", 1},          {"abc", 0}};
    for (const auto& [text, value] : exponents) EXPECT_EQ(ParseShapeExponent(text), value) << text;
    // Numbers fill the head, wrap modulo 256 (junk reads as 0); the mirror fills the tail;
    // entries without a number keep their values; extra numbers are ignored.
    Table table;
    table.fill(99);
    ParseMicrostepTable("256 -1 300 x\t12abc\n\n99999999999999999999999", 16, table.data());
    EXPECT_EQ(Head(table, 16),
              (std::vector<int>{0, 255, 44, 0, 12, 255, 99, 99, 99, 99, 99, 255, 12, 0, 44, 255}));
    ParseMicrostepTable("1 2 3 4 5 6 7 8 9", 8, table.data());
    EXPECT_EQ(Head(table, 9), (std::vector<int>{1, 2, 3, 4, 5, 4, 3, 2, 99}));
    ParseMicrostepTable("77 88", 1, table.data());  // a table of one entry takes one number
    EXPECT_EQ(Head(table, 2), (std::vector<int>{77, 2}));
}

TEST(MicrostepCurves, ASineTableDrawsACircleWithSpokesAndUnusableCountsTouchNothing) {
    const int n = 32;
    Table table = Generate(MicrostepCurve::Sin, n, "0");
    const auto f = ComputeMicrostepFigures(table.data(), n, {0, 0, 400, 700}, 60);
    // The band lies between the field and a square as wide as the client, both shrunk.
    EXPECT_EQ(f.band, (CurveRect{10, 65, 390, 295}));
    ASSERT_EQ(f.levelCurve.size(), n + 1u);
    EXPECT_EQ(f.levelCurve[n / 2], (CurvePoint{200, 65}));
    ASSERT_EQ(f.currentPath.size(), 6u * n);
    for (size_t i = 0; i < f.currentPath.size(); i += 3) {
        EXPECT_EQ(f.currentPath[i], (CurvePoint{200, 500}));  // the centre of the square
        for (size_t j = 1; j <= 2; ++j) {
            const double r = std::hypot(f.currentPath[i + j].x - 200, f.currentPath[i + j].y - 500);
            EXPECT_NEAR(r, 185, 185 * 0.02) << "point " << i + j;
        }
    }
    InvertMicrostepTable(table.data(), n);
    EXPECT_EQ(ComputeMicrostepFigures(table.data(), n, {0, 0, 400, 700}, 60).currentPath,
              f.currentPath);
    // Unusable counts touch nothing and draw nothing.
    for (int count : {-1, 0, 129}) {
        table.fill(42);
        MicrostepShape shape;
        shape.fill(0.5f);
        GenerateMicrostepShape(MicrostepCurve::Tan, count, shape);
        ApplyMicrostepShape(shape, count, 1.0, true, table.data());
        ParseMicrostepTable("1 2 3", count, table.data());
        InvertMicrostepTable(table.data(), count);
        EXPECT_EQ(FormatMicrostepTable(table.data(), count), "") << count;
        EXPECT_EQ(shape[0], 0.5f) << count;
        EXPECT_EQ(std::count(table.begin(), table.end(), 42), kMicrostepTableCapacity) << count;
        const auto figures = ComputeMicrostepFigures(table.data(), count, {0, 0, 300, 600}, 50);
        EXPECT_TRUE(figures.levelCurve.empty() && figures.currentPath.empty());
    }
}

// A dialog's values stand for field values that keep every byte through a round trip; typed
// values are mapped, and the ones a field cannot hold are refused with its range, never cut.
TEST(ConfigMappings, ARoundTripKeepsEveryByteAndValuesBeyondAFieldAreRefused) {
    ControllerConfig config{};
    for (int i = 0; i < kConfigSize; ++i) config.data()[i] = static_cast<uint8_t>(0xA0 ^ i);
    config.wheelStepMode = config.wheelMotorOffWhenIdle = config.filterSensorSeesHome = 1;
    config.powerOutputMode = 3;
    config.focuserStepMicrosteps = 4;
    config.filterCount = 7;
    config.thermometerCount = 5;
    config.thermoCompStepsPerDegree = -250;
    const ControllerConfig before = config;
    const ConfigValues wheel = WheelSettingsFields(WheelSettingsFromConfig(config));
    const ConfigValues focuser = FocuserSettingsFields(FocuserSettingsFromConfig(config, 16), 16);
    ASSERT_FALSE(CheckConfigValues(wheel));
    ASSERT_FALSE(CheckConfigValues(focuser));
    PutConfigValues(config, wheel);
    PutConfigValues(config, focuser);
    for (int i = 0; i < kConfigSize; ++i) EXPECT_EQ(config.data()[i], before.data()[i]) << i;
    EXPECT_EQ(config.data()[16] | config.data()[17] << 8, 0xFF06);
    EXPECT_EQ(ReadConfigField(config, *FindConfigField("thermoCompStepsPerDegree")), -250);
    ControllerConfig ones;  // all bits set: the largest number, -1 for the one signed field
    std::memset(ones.data(), 0xFF, kConfigSize);
    for (const ConfigField& f : ConfigFields()) {
        const bool isSigned = std::string_view(f.name) == "thermoCompStepsPerDegree";
        EXPECT_EQ(ReadConfigField(ones, f), isSigned ? -1 : (1 << 8 * f.width) - 1) << f.name;
    }

    WheelSettingsValues shown = WheelSettingsFromConfig(ControllerConfig{});
    shown.filterCount = 5;
    shown.powerOutputIndex = -1;  // no selection
    ControllerConfig stored{};    // step mode 0 opens checked, and an unchanged OK stores 1
    PutConfigValues(stored, WheelSettingsFields(shown));
    EXPECT_EQ(stored.wheelStepMode, 1);
    EXPECT_EQ(stored.powerOutputMode, 255);
    EXPECT_STREQ(kPowerOutputModeTexts[3], "Активен=0,  Пассивен=1");
    EXPECT_EQ(IdlePowerStored(255), 0);  // shown 255 is stored 0, shown 0 as 1
    EXPECT_EQ(IdlePowerStored(0), 1);
    const struct {
        const char* field;
        int64_t value;
        const char* refusal;  // nullptr: taken
    } typed[] = {
        {"filterCount", 300, "filterCount holds 1..10, not 300"},  // not 44
        {"filterCount", 0, "filterCount holds 1..10, not 0"},
        {"filterCount", 1, nullptr},
        {"wheelSpeed", 70000, "wheelSpeed holds 0..65535, not 70000"},
        {"focuserIdlePower", IdlePowerStored(511), "focuserIdlePower holds 0..255, not 511"},
        {"thermometerCount", 9, "thermometerCount holds 0..8, not 9"},
        {"thermoCompStepsPerDegree", -1001,
         "thermoCompStepsPerDegree holds -1000..1000, not -1001"},
        {"thermoCompStepsPerDegree", -1000, nullptr},
    };
    for (const auto& t : typed) {
        const auto refusal = CheckConfigValues({{FindConfigField(t.field), t.value}});
        EXPECT_EQ(refusal ? ConfigRefusalText(*refusal) : "taken", t.refusal ? t.refusal : "taken");
    }
    // Step choices 1/1 .. 1/largest; the stored step is largest / divisor, 0 for no choice.
    EXPECT_EQ(MicrostepDivisors(12), (std::vector<int>{1, 2, 4, 8}));
    EXPECT_EQ(MicrostepDivisors(INT_MAX).size(), 31u);  // no overflow on absurd replies
    EXPECT_EQ(MicrostepChoice(16, 3), -1);
    EXPECT_EQ(MicrostepStored(16, 5) + MicrostepStored(16, -1), 0);
}

TEST(Cp1251, EveryByteTravelsBothWaysAndBrokenUtf8IsRefused) {
    EXPECT_EQ(Cp1251ToUtf8("\xD1\xE8\xED\xE8\xE9 OIII \xA8\xB8\xB9\x88"), "Синий OIII Ёё№€");
    std::string all, back;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    ASSERT_TRUE(Utf8ToCp1251(Cp1251ToUtf8(all), back));
    EXPECT_EQ(back, all);
    // Not UTF-8, an overlong '/', a surrogate, cut short; a character the page lacks.
    const std::pair<const char*, const char*> refused[] = {{"ok\xFF", "\xFF"},
                                                           {"\xC0\xAF", "\xC0"},
                                                           {"\xED\xA0\x80", "\xED"},
                                                           {"\xD0", "\xD0"},
                                                           {"Hα", "α"}};
    for (const auto& [text, unsupported] : refused) {
        std::string out = "kept", bad;
        EXPECT_FALSE(Utf8ToCp1251(text, out, &bad)) << text;
        EXPECT_EQ(out, "kept");
        EXPECT_EQ(bad, unsupported);
    }
}

// One rule for typed names: text of the code page, no control character, at most 8 characters
// for a filter and 32 for a thermometer; refused whole, never cut. A name equal to the stored
// one is taken as it is, whatever it holds. (kavrictl's messages: UsageAndConnectionTest.)
TEST(NameRule, NamesAreRefusedWholeWithTheReason) {
    using K = NameKind;
    const std::string x32(32, 'x'), w41(41, 'w');
    const struct {
        K kind;
        std::string typed, current, result;  // the bytes taken, or the refusal
    } cases[] = {
        {K::Filter, "Синий-II", "", "\xD1\xE8\xED\xE8\xE9-II"},
        {K::Filter, "123456789", "", "filter name '123456789' is longer than 8 characters"},
        {K::Filter, std::string("A\0B", 3), "",
         "filter name 'A\\u0000B' holds a control character"},
        {K::Filter, "\xC2\x98", "", "filter name '\\u0098' holds a control character"},
        {K::Thermometer, x32, "", x32},
        {K::Thermometer, w41, "",
         "thermometer name '" + w41.substr(1) + "...' is longer than 32 characters"},
        {K::Thermometer, "A\tB", "A\tB", "A\tB"},
        {K::Thermometer, "A\x7F", "AB", "thermometer name 'A\\u007f' holds a control character"},
    };
    for (const auto& c : cases) {
        const NameCheck check = CheckTypedName(c.kind, c.typed, c.current);
        const bool taken = c.result.find("name '") == std::string::npos;
        EXPECT_EQ(check.problem == NameProblem::None, taken) << c.typed;
        EXPECT_EQ(taken ? check.bytes : NameRefusal(c.kind, c.typed, check), c.result);
    }
}

}  // namespace
}  // namespace kavri::test
