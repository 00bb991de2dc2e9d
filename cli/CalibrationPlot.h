// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration as a picture: focuser position against temperature, one colour per filter,
// the fitted line of each filter and the rejected points marked, as a standalone SVG file
// that a browser shows.
#pragma once

#include <string>
#include <vector>

#include "calibration/CompensationFit.h"
#include "calibration/FocusPoints.h"

namespace kavri::cli {

// `filterNames` are the fit's filters as they are to be shown (UTF-8), in the fit's order.
std::string RenderCalibrationPlot(const std::vector<FocusPoint>& points, const CompensationFit& fit,
                                  const std::vector<std::string>& filterNames, int thermometer);

}  // namespace kavri::cli
