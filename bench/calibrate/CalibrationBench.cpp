// SPDX-License-Identifier: GPL-3.0-or-later
// How long `kavrictl calibrate` takes to read and fit a month of daily logs: 30 files of
// 17,280 rows (one row per 5 s, around the clock), two filters, a refocus every 30 minutes.
// Prints the median and the fastest of the runs (default 5, or the first argument) of
// reading, finding the focus points and fitting; writing the logs is not timed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "calibration/CompensationFit.h"
#include "calibration/FocusPoints.h"
#include "support/SyntheticLog.h"
#include "support/TempDir.h"

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    kavri::test::TempDir dir;
    kavri::test::SyntheticNight month;
    month.date = {2024, 1, 1};
    month.startSecond = 0;
    month.rows = 30 * 17280;
    const auto written = kavri::test::WriteSyntheticLogs(month, dir.Path());
    const auto paths = kavri::OrderLogs({written.begin(), written.end()});

    std::vector<double> seconds;
    size_t points = 0;
    double slope = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const auto scan = kavri::ScanFocusLogs(paths, 0);
        const auto fit = kavri::FitCompensation(scan.points);
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        points = scan.points.size();
        slope = fit.slope;
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("%zu files, %d rows, %zu focus points, slope %.2f steps/degree\n", paths.size(),
                month.rows, points, slope);
    std::printf("read and fit: median %.3f s, fastest %.3f s over %d runs\n",
                seconds[seconds.size() / 2], seconds.front(), runs);
}
