// SPDX-License-Identifier: GPL-3.0-or-later
// The temperature-compensation fit: one slope, focuser steps per degree, shared by every
// filter, with an intercept of its own for each filter so that the filters' focus offsets do
// not bias it. A Theil-Sen estimate within filters finds the outliers; least squares on the
// rest gives the slope and its 95 % interval.
#pragma once

#include <string>
#include <vector>

#include "calibration/FocusPoints.h"
#include "device/ConfigFields.h"

namespace kavri {

// Below these no coefficient is given.
constexpr int kMinFocusPoints = 4;
constexpr double kMinTemperatureSpan = 2.0;  // degrees, within one filter

enum class FocusPointUse {
    Used,
    Outlier,  // too far from the robust fit
    Alone,    // the only usable point of its filter: it says nothing about the slope
};

enum class FitRefusal { None, TooFewPoints, TooNarrowSpan };

struct CompensationFit {
    std::vector<FocusPointUse> use;    // per point, in the order given
    std::vector<std::string> filters;  // in order of first appearance
    std::vector<int> filterOfPoint;    // index into `filters`, per point
    int used = 0;
    int outliers = 0;
    int alone = 0;
    double span = 0;  // degrees: the widest range that one filter's used points cover

    FitRefusal refusal = FitRefusal::TooFewPoints;
    // Valid when refusal is None: steps per degree of warming, with the 95 % interval, and
    // each filter's position at 0 degrees (meaningless for a filter without used points).
    double slope = 0;
    double slopeLow = 0;
    double slopeHigh = 0;
    std::vector<double> intercepts;
};

CompensationFit FitCompensation(const std::vector<FocusPoint>& points);

// The value to store as thermoCompStepsPerDegree: the slope rounded, within the controller's
// -1000..1000. The controller moves the focuser by that many steps for each degree the
// temperature rises, which is the slope of the positions the user focused at.
int CompensationCoefficient(double slope);

// The two-sided 95 % quantile of Student's t distribution with `df` degrees of freedom (>= 1).
double StudentT95(int df);

}  // namespace kavri
