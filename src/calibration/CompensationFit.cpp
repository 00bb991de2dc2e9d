// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/CompensationFit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>

namespace kavri {

namespace {

// Beyond this many point pairs within filters, the pair statistics below are taken from a fixed
// random sample of them, which keeps a month of frequent refocusing quick.
constexpr size_t kMaxPairs = 200000;
// A point is an outlier beyond this many standard deviations from the robust fit...
constexpr double kOutlierSigmas = 3.5;
// ...and never within this many steps, should nearly all points lie exactly on the line.
constexpr double kOutlierFloorSteps = 3.0;
// For normally distributed residuals, the median of |r_i - r_j| is this many standard deviations
// (0.6745 x sqrt 2).
constexpr double kPairDifferenceToSigma = 0.9539;

double Median(std::vector<double> values) {
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    const double upper = values[middle];
    if (values.size() % 2 == 1) return upper;
    return (*std::max_element(values.begin(), values.begin() + middle) + upper) / 2;
}

using Groups = std::vector<std::vector<size_t>>;  // point indexes per filter

// Calls `visit` (a, b) for every pair of points of the same filter, or for a fixed random
// sample of them when there are more than kMaxPairs.
template <typename Visit>
void ForEachPair(const Groups& groups, Visit visit) {
    size_t total = 0;
    for (const auto& group : groups) total += group.size() * (group.size() - 1) / 2;
    std::mt19937_64 random(20240314);
    for (const auto& group : groups) {
        const size_t n = group.size();
        if (total <= kMaxPairs) {
            for (size_t i = 0; i < n; ++i) {
                for (size_t j = i + 1; j < n; ++j) visit(group[i], group[j]);
            }
            continue;
        }
        const double share = static_cast<double>(n * (n - 1) / 2) / static_cast<double>(total);
        const auto sample = static_cast<size_t>(kMaxPairs * share);
        for (size_t k = 0; k < sample; ++k) {
            const size_t i = random() % n;
            visit(group[i], group[(i + 1 + random() % (n - 1)) % n]);
        }
    }
}

// Theil-Sen within filters: the median of the slopes between points of the same filter.
bool TheilSenSlope(const std::vector<FocusPoint>& points, const Groups& groups, double& slope) {
    std::vector<double> slopes;
    ForEachPair(groups, [&](size_t a, size_t b) {
        const double dt = points[b].temperature - points[a].temperature;
        if (dt != 0) slopes.push_back((points[b].position - points[a].position) / dt);
    });
    if (slopes.empty()) return false;
    slope = Median(std::move(slopes));
    return true;
}

// Marks the points far from the robust fit as outliers. The spread comes from differences of
// residuals within filters, so neither the filters' offsets nor the outliers themselves (up to
// about a quarter of the points) inflate it.
void RejectOutliers(const std::vector<FocusPoint>& points, const Groups& groups, double slope,
                    std::vector<FocusPointUse>& use) {
    const auto residual = [&](size_t i) {
        return points[i].position - slope * points[i].temperature;
    };
    std::vector<double> differences;
    ForEachPair(groups, [&](size_t a, size_t b) {
        differences.push_back(std::fabs(residual(a) - residual(b)));
    });
    if (differences.empty()) return;
    const double sigma = Median(std::move(differences)) / kPairDifferenceToSigma;
    const double limit = std::max(kOutlierSigmas * sigma, kOutlierFloorSteps);
    for (const auto& group : groups) {
        if (group.size() < 2) continue;
        std::vector<double> offsets;
        for (size_t i : group) offsets.push_back(residual(i));
        const double intercept = Median(offsets);
        for (size_t i : group) {
            if (std::fabs(residual(i) - intercept) > limit) use[i] = FocusPointUse::Outlier;
        }
    }
}

}  // namespace

double StudentT95(int df) {
    static constexpr double kTable[30] = {12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306,
                                          2.262,  2.228, 2.201, 2.179, 2.160, 2.145, 2.131, 2.120,
                                          2.110,  2.101, 2.093, 2.086, 2.080, 2.074, 2.069, 2.064,
                                          2.060,  2.056, 2.052, 2.048, 2.045, 2.042};
    if (df < 1) df = 1;
    if (df <= 30) return kTable[df - 1];
    // Cornish-Fisher expansion about the normal quantile; within 1e-4 from 30 degrees on.
    const double z = 1.959963985;
    const double v = df;
    const double z3 = z * z * z;
    const double z5 = z3 * z * z;
    const double z7 = z5 * z * z;
    return z + (z3 + z) / (4 * v) + (5 * z5 + 16 * z3 + 3 * z) / (96 * v * v) +
           (3 * z7 + 19 * z5 + 17 * z3 - 15 * z) / (384 * v * v * v);
}

int CompensationCoefficient(double slope) {
    if (!std::isfinite(slope)) return 0;
    const double clamped =
        std::clamp(slope, -1.0 * kMaxCompensationSteps, 1.0 * kMaxCompensationSteps);
    return static_cast<int>(std::lround(clamped));
}

CompensationFit FitCompensation(const std::vector<FocusPoint>& points) {
    CompensationFit fit;
    fit.use.assign(points.size(), FocusPointUse::Used);
    std::map<std::string, int> filterIndex;
    for (const auto& point : points) {
        const auto [it, added] = filterIndex.emplace(point.filter, fit.filters.size());
        if (added) fit.filters.push_back(point.filter);
        fit.filterOfPoint.push_back(it->second);
    }
    Groups groups(fit.filters.size());
    for (size_t i = 0; i < points.size(); ++i) groups[fit.filterOfPoint[i]].push_back(i);

    double robustSlope = 0;
    if (TheilSenSlope(points, groups, robustSlope))
        RejectOutliers(points, groups, robustSlope, fit.use);

    // Least squares on the rest, each filter about its own means.
    const size_t k = groups.size();
    std::vector<double> meanT(k, 0.0), meanP(k, 0.0), lowT(k, 1e300), highT(k, -1e300);
    std::vector<int> count(k, 0);
    for (size_t f = 0; f < k; ++f) {
        for (size_t i : groups[f]) {
            if (fit.use[i] == FocusPointUse::Used) ++count[f];
        }
        for (size_t i : groups[f]) {
            if (fit.use[i] != FocusPointUse::Used) continue;
            if (count[f] < 2) {
                fit.use[i] = FocusPointUse::Alone;
                continue;
            }
            meanT[f] += points[i].temperature / count[f];
            meanP[f] += points[i].position / static_cast<double>(count[f]);
            lowT[f] = std::min(lowT[f], points[i].temperature);
            highT[f] = std::max(highT[f], points[i].temperature);
        }
        if (count[f] >= 2) fit.span = std::max(fit.span, highT[f] - lowT[f]);
    }
    double sxx = 0;
    double sxy = 0;
    int groupsUsed = 0;
    for (size_t f = 0; f < k; ++f) {
        if (count[f] >= 2) ++groupsUsed;
        for (size_t i : groups[f]) {
            if (fit.use[i] != FocusPointUse::Used) continue;
            const double dt = points[i].temperature - meanT[f];
            sxx += dt * dt;
            sxy += dt * (points[i].position - meanP[f]);
        }
    }
    for (const FocusPointUse use : fit.use) {
        fit.used += use == FocusPointUse::Used;
        fit.outliers += use == FocusPointUse::Outlier;
        fit.alone += use == FocusPointUse::Alone;
    }
    if (fit.used < kMinFocusPoints) return fit;
    if (fit.span < kMinTemperatureSpan || sxx <= 0) {
        fit.refusal = FitRefusal::TooNarrowSpan;
        return fit;
    }

    fit.slope = sxy / sxx;
    double sumSquares = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        if (fit.use[i] != FocusPointUse::Used) continue;
        const size_t f = fit.filterOfPoint[i];
        const double residual =
            points[i].position - meanP[f] - fit.slope * (points[i].temperature - meanT[f]);
        sumSquares += residual * residual;
    }
    // Each filter with used points has two or more, so at least one degree of freedom is left.
    const int df = fit.used - groupsUsed - 1;
    const double halfWidth = StudentT95(df) * std::sqrt(sumSquares / df / sxx);
    fit.slopeLow = fit.slope - halfWidth;
    fit.slopeHigh = fit.slope + halfWidth;
    fit.intercepts.resize(k);
    for (size_t f = 0; f < k; ++f) fit.intercepts[f] = meanP[f] - fit.slope * meanT[f];
    fit.refusal = FitRefusal::None;
    return fit;
}

}  // namespace kavri
