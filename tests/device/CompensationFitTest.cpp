// The compensation fit: known slopes recovered within their interval, outliers rejected,
// refusals, and the coefficient the controller gets.
#include "device/CompensationFit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace kavri::test {
namespace {

struct Line {
    double slope;
    std::vector<int> offsets;  // one filter per offset
    double noise;              // steps, standard deviation
    int pointsPerFilter;
    unsigned seed;
};

std::vector<FocusPoint> MakePoints(const Line& line, double lowDegrees = -2,
                                   double highDegrees = 12) {
    std::mt19937 random(line.seed);
    std::uniform_real_distribution<double> degrees(lowDegrees, highDegrees);
    std::normal_distribution<double> noise(0, line.noise);
    std::vector<FocusPoint> points;
    for (int i = 0; i < line.pointsPerFilter; ++i) {
        for (size_t f = 0; f < line.offsets.size(); ++f) {
            FocusPoint point;
            point.temperature = std::round(degrees(random) * 100) / 100;
            point.position = static_cast<int>(std::lround(
                5000 + line.offsets[f] + line.slope * point.temperature + noise(random)));
            point.filter = std::string(1, static_cast<char>('A' + f));
            points.push_back(point);
        }
    }
    return points;
}

TEST(CompensationFitTest, TheIntervalHoldsTheKnownSlopeNineteenTimesInTwenty) {
    // slope, the filters' offsets, noise, points per filter.
    const std::vector<Line> lines = {{-15, {0, 60}, 2, 10, 0},
                                     {8.5, {0, -400, 900}, 4, 6, 0},
                                     {0.4, {0}, 1.5, 12, 0},
                                     {-120, {0, 35}, 10, 20, 0}};
    constexpr int kTrials = 100;
    for (Line line : lines) {
        SCOPED_TRACE(line.slope);
        for (const int badSteps : {0, 150}) {
            int covered = 0;
            for (line.seed = 1; line.seed <= kTrials; ++line.seed) {
                auto points = MakePoints(line);
                // A failed autofocus or two: far off the line, and rejected.
                points[1].position += badSteps;
                points[4].position -= badSteps;
                const CompensationFit fit = FitCompensation(points);
                ASSERT_EQ(fit.refusal, FitRefusal::None);
                covered += fit.slopeLow <= line.slope && line.slope <= fit.slopeHigh;
                EXPECT_LT(fit.slopeHigh - fit.slopeLow, std::max(3.0, std::fabs(line.slope) * 0.2));
                EXPECT_EQ(fit.use[1] == FocusPointUse::Outlier, badSteps != 0);
                EXPECT_EQ(fit.used, static_cast<int>(points.size()) - fit.outliers);
            }
            // 95 of 100 expected; below 88 the interval is too narrow (or the slope biased).
            EXPECT_GE(covered, 88) << badSteps;
        }
    }
}

TEST(CompensationFitTest, RefusesTooFewPointsOrTooNarrowASpan) {
    // Four filters of one point each tell nothing about the slope.
    const CompensationFit lone = FitCompensation(MakePoints({-10, {0, 10, 20, 30}, 1, 1, 5}));
    EXPECT_EQ(lone.refusal, FitRefusal::TooFewPoints);
    EXPECT_EQ(lone.alone, 4);
    EXPECT_EQ(FitCompensation(MakePoints({-10, {0}, 1, 3, 6})).refusal, FitRefusal::TooFewPoints);
    // Wide overall, but each filter covers only 1.5 degrees.
    auto narrow = MakePoints({-10, {0}, 1, 6, 7}, 0, 1.5);
    for (auto point : MakePoints({-10, {0}, 1, 6, 8}, 8, 9.5)) {
        point.filter = "other";
        narrow.push_back(point);
    }
    const CompensationFit fit = FitCompensation(narrow);
    EXPECT_EQ(fit.refusal, FitRefusal::TooNarrowSpan);
    EXPECT_LT(fit.span, kMinTemperatureSpan);
    EXPECT_EQ(fit.used, 12);
}

TEST(CompensationFitTest, CoefficientIsTheRoundedSlopeWithinTheControllersRange) {
    const std::pair<double, int> coefficients[] = {{-15.4, -15},  {-15.5, -16},  {0.49, 0},
                                                   {999.6, 1000}, {-5e9, -1000}, {NAN, 0}};
    for (const auto& [slope, value] : coefficients)
        EXPECT_EQ(CompensationCoefficient(slope), value) << slope;
    const std::pair<int, double> quantiles[] = {{1, 12.706}, {2, 4.303},  {10, 2.228},
                                                {30, 2.042}, {31, 2.040}, {1000, 1.962}};
    for (const auto& [df, t] : quantiles) EXPECT_NEAR(StudentT95(df), t, 1.5e-3) << df;
}

}  // namespace
}  // namespace kavri::test
