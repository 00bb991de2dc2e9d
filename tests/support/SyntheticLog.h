// SPDX-License-Identifier: GPL-3.0-or-later
// Synthetic nights of daily temperature logs with a known focus slope, for the calibration's
// tests and benchmark: the temperature drifts, the user refocuses now and then (the position
// then follows slope x temperature + the filter's offset + noise), and the filter changes
// between refocuses, the controller applying the filter's focus offset at once.
#pragma once

#include <string>
#include <vector>

#include "calibration/FocusLogFiles.h"

namespace kavri::test {

struct SyntheticFilter {
    std::string name;
    int offset = 0;  // focus offset in steps
};

struct SyntheticNight {
    CivilDate date{2024, 3, 14};
    int startSecond = 20 * 3600;  // time of day of the first row
    int rows = 6480;              // 9 hours at one row per 5 s
    int thermometers = 2;         // T1 reads T0 + 5 degrees
    double startDegrees = 12.0;
    double degreesPerHour = -1.0;
    double readingNoise = 0.02;  // degrees, standard deviation of each reading
    double slope = -15.0;        // steps per degree of warming
    int basePosition = 12000;    // position of the first filter at 0 degrees
    std::vector<SyntheticFilter> filters = {{"L", 0}, {"Ha", 60}};
    int refocusEveryRows = 360;     // 30 minutes
    int refocusesPerFilter = 2;     // the filter changes 2 minutes before every n-th refocus
    double positionNoise = 2.0;     // steps, standard deviation at each refocus
    int compensationEveryRows = 0;  // > 0: no refocus; the position follows the temperature
    int badRefocus = -1;            // this refocus (1, 2, ...) misses focus by badSteps
    int badSteps = 0;
    unsigned seed = 1;
};

// Writes the night's logs, split at midnight ("term_log_Y-MM-DD.csv", CR LF lines), into
// `directory` (which must exist); their paths, oldest first.
std::vector<std::string> WriteSyntheticLogs(const SyntheticNight& night,
                                            const std::string& directory);

}  // namespace kavri::test
