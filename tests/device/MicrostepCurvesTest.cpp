// The microstep table editor's arithmetic: a few exact levels of each generator, the shape
// properties of every curve, the text the user edits, and the figures drawn from a table.
#include "device/MicrostepCurves.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace kavri {
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

TEST(MicrostepCurves, ExactLevelsAtTheEdges) {
    using V = std::vector<int>;
    EXPECT_EQ(Head(Generate(MicrostepCurve::Sin, 8, "0"), 8),
              (V{0, 97, 180, 236, 255, 236, 180, 97}));
    // The dialog's opening bend; the tangent cut at one; inverted.
    EXPECT_EQ(Head(Generate(MicrostepCurve::Sin, 8, "1.0"), 4), (V{0, 103, 185, 237}));
    EXPECT_EQ(Head(Generate(MicrostepCurve::Tan, 8, "0"), 4), (V{0, 105, 255, 255}));
    Table inverted = Generate(MicrostepCurve::Sin, 8, "0", true);
    EXPECT_EQ(Head(inverted, 8), (V{255, 158, 75, 19, 0, 19, 75, 158}));
    EXPECT_TRUE(IsMicrostepTableInverted(inverted.data()));
    // n = 7: the last entry lies outside the mirror and closes the period like entry 0.
    const Table odd = Generate(MicrostepCurve::Tan, 7, "0");
    EXPECT_EQ(FormatMicrostepTable(odd.data(), 7), "0 147 255 255 ");
    EXPECT_EQ(Head(odd, 7), (V{0, 147, 255, 255, 255, 147, 0}));
}

TEST(MicrostepCurves, EveryCurveRisesFromZeroToFullLevelAtTheQuarterPeriodAndBendsAsAsked) {
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
}

TEST(MicrostepCurves, UnusableCountsTouchNothing) {
    for (int count : {-1, 0, 129}) {
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
        EXPECT_EQ(std::count(table.begin(), table.end(), 42), kMicrostepTableCapacity) << count;
        const auto figures = ComputeMicrostepFigures(table.data(), count, {0, 0, 300, 600}, 50);
        EXPECT_TRUE(figures.levelCurve.empty() && figures.currentPath.empty());
    }
}

TEST(MicrostepCurves, ASineTableDrawsACircleWithSpokesWhateverItsInversion) {
    const int n = 32;
    Table table = Generate(MicrostepCurve::Sin, n, "0");
    const auto f = ComputeMicrostepFigures(table.data(), n, {0, 0, 400, 700}, 60);
    // The band lies between the field and a square as wide as the client, both shrunk.
    EXPECT_EQ(f.band, (CurveRect{10, 65, 390, 295}));
    ASSERT_EQ(f.levelCurve.size(), n + 1u);
    EXPECT_EQ(f.levelCurve[n / 2], (CurvePoint{200, 65}));
    EXPECT_EQ(f.levelCurve[n], (CurvePoint{390, 295}));
    ASSERT_EQ(f.currentPath.size(), 6u * n);
    for (size_t i = 0; i < f.currentPath.size(); i += 3) {
        EXPECT_EQ(f.currentPath[i], (CurvePoint{200, 500}));  // the centre of the square
        for (size_t j = 1; j <= 2; ++j) {
            const double r = std::hypot(f.currentPath[i + j].x - 200, f.currentPath[i + j].y - 500);
            EXPECT_NEAR(r, 185, 185 * 0.02) << "point " << i + j;
        }
        // Each spoke ends where the next one starts its arc.
        if (i + 3 < f.currentPath.size()) EXPECT_EQ(f.currentPath[i + 2], f.currentPath[i + 4]);
    }
    InvertMicrostepTable(table.data(), n);
    EXPECT_EQ(ComputeMicrostepFigures(table.data(), n, {0, 0, 400, 700}, 60).currentPath,
              f.currentPath);
}

}  // namespace
}  // namespace kavri
