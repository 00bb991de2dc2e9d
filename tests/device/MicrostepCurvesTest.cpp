#include "device/MicrostepCurves.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace kavri {
namespace {

using Table = std::array<uint8_t, kMicrostepTableCapacity>;

// What the table dialog does when a generator button is pressed: shape, bend, show the text
// and read it back (which mirrors the table).
Table Generate(MicrostepCurve curve, int n, const std::string& exponent, bool inverse = false) {
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

TEST(MicrostepCurvesGenerators, SinWithoutBendGivesTheQuarterSine) {
    MicrostepShape shape{};
    Table table{};
    GenerateMicrostepShape(MicrostepCurve::Sin, 8, shape);
    ApplyMicrostepShape(shape, 8, 0.0, false, table.data());
    EXPECT_EQ(FormatMicrostepTable(table.data(), 8), "0 97 180 236 255 ");
    ParseMicrostepTable(FormatMicrostepTable(table.data(), 8), 8, table.data());
    EXPECT_EQ(Head(table, 8), (std::vector<int>{0, 97, 180, 236, 255, 236, 180, 97}));
}

TEST(MicrostepCurvesGenerators, SinWithTheOpeningExponentLiftsLowLevels) {
    EXPECT_EQ(Head(Generate(MicrostepCurve::Sin, 8, "1.0"), 8),
              (std::vector<int>{0, 103, 185, 237, 255, 237, 185, 103}));
}

TEST(MicrostepCurvesGenerators, TanIsCutAtOneAndMirrored) {
    EXPECT_EQ(Head(Generate(MicrostepCurve::Tan, 8, "0"), 8),
              (std::vector<int>{0, 105, 255, 255, 255, 255, 255, 105}));
}

TEST(MicrostepCurvesGenerators, SinSin3HasAFlatterTopPeakingAtFullLevel) {
    const Table sin = Generate(MicrostepCurve::Sin, 32, "0");
    const Table flat = Generate(MicrostepCurve::SinSin3, 32, "0");
    EXPECT_EQ(flat[0], 0);
    EXPECT_EQ(flat[16], 255);
    for (int i = 1; i < 16; ++i) EXPECT_GE(flat[i], sin[i]) << "entry " << i;
    EXPECT_GT(flat[12], sin[12]);
}

TEST(MicrostepCurvesGenerators, TanReachesFullLevelAtTheQuarterPeriodForEveryCount) {
    // For some counts the rounded quarter-period angle lies just past pi/2.
    for (int n = 2; n <= kMicrostepTableCapacity; ++n) {
        const Table table = Generate(MicrostepCurve::Tan, n, "0");
        ASSERT_EQ(table[n / 2], 255) << "n = " << n;
    }
}

TEST(MicrostepCurvesGenerators, InverseFlipsAndInvertingBackRestores) {
    Table table = Generate(MicrostepCurve::Sin, 8, "0", true);
    EXPECT_EQ(Head(table, 8), (std::vector<int>{255, 158, 75, 19, 0, 19, 75, 158}));
    EXPECT_TRUE(IsMicrostepTableInverted(table.data()));
    InvertMicrostepTable(table.data(), 8);
    EXPECT_FALSE(IsMicrostepTableInverted(table.data()));
    EXPECT_EQ(Head(table, 8), (std::vector<int>{0, 97, 180, 236, 255, 236, 180, 97}));
}

TEST(MicrostepCurvesGenerators, EveryBendKeepsTheEndsAndItsDirection) {
    MicrostepShape shape{};
    GenerateMicrostepShape(MicrostepCurve::Sin, 16, shape);
    Table plain{}, lifted{}, lowered{};
    ApplyMicrostepShape(shape, 16, 0.0, false, plain.data());
    ApplyMicrostepShape(shape, 16, 5.0, false, lifted.data());
    ApplyMicrostepShape(shape, 16, -5.0, false, lowered.data());
    for (const Table* t : {&plain, &lifted, &lowered}) {
        EXPECT_EQ((*t)[0], 0);
        EXPECT_EQ((*t)[8], 255);
    }
    for (int i = 1; i < 8; ++i) {
        EXPECT_GT(lifted[i], plain[i]) << "entry " << i;
        EXPECT_LT(lowered[i], plain[i]) << "entry " << i;
    }
}

TEST(MicrostepCurvesGenerators, WildExponentsStillGiveLevelsInRange) {
    MicrostepShape shape{};
    GenerateMicrostepShape(MicrostepCurve::Sin, 8, shape);
    for (const char* text : {"1e308", "-1e308", "inf", "-inf", "nan", "400", "-400"}) {
        Table table;
        table.fill(7);
        ApplyMicrostepShape(shape, 8, ParseShapeExponent(text), false, table.data());
        // Every entry is written; none may come from an undefined conversion.
        for (int i = 0; i < 8; ++i) EXPECT_NE(table[i], 7) << text << " entry " << i;
        EXPECT_EQ(table[0], 0) << text;
        EXPECT_EQ(table[8], 7) << text << ": entries past n stay untouched";
    }
}

TEST(MicrostepCurvesExponent, ReadsLikeTheCLibraryInAnyLocale) {
    EXPECT_DOUBLE_EQ(ParseShapeExponent("1.0"), 1.0);
    EXPECT_DOUBLE_EQ(ParseShapeExponent("  -2.5xyz"), -2.5);
    EXPECT_DOUBLE_EQ(ParseShapeExponent("+3"), 3.0);
    EXPECT_DOUBLE_EQ(ParseShapeExponent("1e1"), 10.0);
    EXPECT_DOUBLE_EQ(ParseShapeExponent(".5"), 0.5);
    EXPECT_DOUBLE_EQ(ParseShapeExponent("1,5"), 1.0);
    EXPECT_DOUBLE_EQ(ParseShapeExponent("abc"), 0.0);
    EXPECT_DOUBLE_EQ(ParseShapeExponent(""), 0.0);
    EXPECT_DOUBLE_EQ(ParseShapeExponent("--1"), 0.0);
}

TEST(MicrostepCurvesText, TypedNumbersFillTheHeadAndTheMirrorFillsTheTail) {
    Table table{};
    for (int i = 0; i < 8; ++i) table[i] = static_cast<uint8_t>(10 + i);
    ParseMicrostepTable("0 50 100", 8, table.data());
    EXPECT_EQ(Head(table, 8), (std::vector<int>{0, 50, 100, 13, 14, 13, 100, 50}));
}

TEST(MicrostepCurvesText, OutOfRangeNumbersWrapAndJunkReadsAsZero) {
    Table table;
    table.fill(99);
    ParseMicrostepTable("256 -1 300 x 12abc 99999999999999999999999", 16, table.data());
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[1], 255);
    EXPECT_EQ(table[2], 44);
    EXPECT_EQ(table[3], 0);
    EXPECT_EQ(table[4], 12);
    // 10^23 - 1 modulo 256.
    EXPECT_EQ(table[5], 255);
    EXPECT_EQ(table[6], 99);
}

TEST(MicrostepCurvesText, ExtraNumbersAreIgnoredAndAnySpacingSeparates) {
    Table table{};
    ParseMicrostepTable("  1\t2\n\n3   4 5 6 7 8 9", 8, table.data());
    EXPECT_EQ(Head(table, 8), (std::vector<int>{1, 2, 3, 4, 5, 4, 3, 2}));
    EXPECT_EQ(table[8], 0);
}

TEST(MicrostepCurvesText, ReadingAnAsymmetricTableMakesItSymmetric) {
    Table table{};
    const std::vector<int> controller{0, 60, 120, 200, 255, 210, 130, 70};
    for (int i = 0; i < 8; ++i) table[i] = static_cast<uint8_t>(controller[i]);
    ParseMicrostepTable(FormatMicrostepTable(table.data(), 8), 8, table.data());
    EXPECT_EQ(Head(table, 8), (std::vector<int>{0, 60, 120, 200, 255, 200, 120, 60}));
}

TEST(MicrostepCurvesCounts, UnusableCountsTouchNothing) {
    for (int count : {-1, 0, 129, 255}) {
        Table table;
        table.fill(42);
        MicrostepShape shape;
        shape.fill(0.5f);
        GenerateMicrostepShape(MicrostepCurve::Tan, count, shape);
        ApplyMicrostepShape(shape, count, 1.0, true, table.data());
        ParseMicrostepTable("1 2 3", count, table.data());
        InvertMicrostepTable(table.data(), count);
        EXPECT_EQ(FormatMicrostepTable(table.data(), count), "") << count;
        EXPECT_EQ(shape[0], 0.5f) << count;
        for (uint8_t v : table) ASSERT_EQ(v, 42) << count;
        const MicrostepFigures figures =
            ComputeMicrostepFigures(table.data(), count, {0, 0, 300, 600}, 50);
        EXPECT_TRUE(figures.levelCurve.empty());
        EXPECT_TRUE(figures.currentPath.empty());
    }
}

TEST(MicrostepCurvesCounts, OneAndOddCountsWork) {
    Table one = Generate(MicrostepCurve::Sin, 1, "1.0");
    EXPECT_EQ(one[0], 0);
    Table typed{};
    ParseMicrostepTable("77 88", 1, typed.data());
    EXPECT_EQ(typed[0], 77);
    EXPECT_EQ(typed[1], 0);
    EXPECT_EQ(ComputeMicrostepFigures(one.data(), 1, {0, 0, 300, 600}, 50).currentPath.size(), 6u);

    // n = 7: h = 3; the last entry (6) lies outside the mirror and closes like entry 0.
    Table tan = Generate(MicrostepCurve::Tan, 7, "0");
    EXPECT_EQ(tan[0], 0);
    EXPECT_EQ(tan[3], 255);
    EXPECT_EQ(tan[4], tan[2]);
    EXPECT_EQ(tan[5], tan[1]);
    EXPECT_EQ(tan[6], tan[0]);
    EXPECT_EQ(FormatMicrostepTable(tan.data(), 7), "0 147 255 255 ");
}

TEST(MicrostepCurvesFigures, AreasSplitTheClientBelowTheField) {
    Table table = Generate(MicrostepCurve::Sin, 8, "0");
    const MicrostepFigures f = ComputeMicrostepFigures(table.data(), 8, {0, 0, 400, 700}, 60);
    EXPECT_EQ(f.square, (CurveRect{10, 305, 390, 695}));
    EXPECT_EQ(f.band, (CurveRect{10, 65, 390, 295}));

    ASSERT_EQ(f.levelCurve.size(), 9u);
    EXPECT_EQ(f.levelCurve[0], (CurvePoint{10, 295}));
    EXPECT_EQ(f.levelCurve[4], (CurvePoint{10 + 380 * 4 / 8, 65}));
    EXPECT_EQ(f.levelCurve[1], (CurvePoint{10 + 380 / 8, 295 - 97 * 230 / 255}));
    EXPECT_EQ(f.levelCurve[8], (CurvePoint{390, 295}));
}

TEST(MicrostepCurvesFigures, SineTableDrawsACircleWithSpokes) {
    const int n = 32;
    Table table = Generate(MicrostepCurve::Sin, n, "0");
    const MicrostepFigures f = ComputeMicrostepFigures(table.data(), n, {0, 0, 400, 700}, 60);
    ASSERT_EQ(f.currentPath.size(), 6u * n);
    const CurvePoint centre{200, 500};
    const double radius = 380 / 2 - 5;
    for (std::size_t i = 0; i < f.currentPath.size(); i += 3) {
        EXPECT_EQ(f.currentPath[i], centre);
        for (std::size_t j = 1; j <= 2; ++j) {
            const double dx = f.currentPath[i + j].x - centre.x;
            const double dy = f.currentPath[i + j].y - centre.y;
            EXPECT_NEAR(std::hypot(dx, dy), radius, radius * 0.02) << "point " << i + j;
        }
        // Each spoke ends where the next one starts its arc.
        if (i + 3 < f.currentPath.size()) {
            EXPECT_EQ(f.currentPath[i + 2], f.currentPath[i + 4]);
        }
    }
    // The second half of the period runs on the opposite side.
    EXPECT_GT(f.currentPath[3 * (n / 2) + 1].x, centre.x);
    EXPECT_LT(f.currentPath[3 * (n + n / 2) + 1].x, centre.x);
}

TEST(MicrostepCurvesFigures, AnInvertedTableDrawsTheSamePath) {
    Table plain = Generate(MicrostepCurve::Sin, 16, "2");
    Table inverted = plain;
    InvertMicrostepTable(inverted.data(), 16);
    const CurveRect client{0, 0, 300, 600};
    EXPECT_EQ(ComputeMicrostepFigures(plain.data(), 16, client, 40).currentPath,
              ComputeMicrostepFigures(inverted.data(), 16, client, 40).currentPath);
    EXPECT_NE(ComputeMicrostepFigures(plain.data(), 16, client, 40).levelCurve,
              ComputeMicrostepFigures(inverted.data(), 16, client, 40).levelCurve);
}

}  // namespace
}  // namespace kavri
