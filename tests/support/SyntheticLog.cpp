// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/SyntheticLog.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>

namespace kavri::test {

std::vector<std::string> WriteSyntheticLogs(const SyntheticNight& night,
                                            const std::string& directory) {
    std::mt19937 random(night.seed);
    std::normal_distribution<double> unit(0.0, 1.0);
    std::vector<std::string> paths;
    std::ofstream out;
    const int64_t firstDay = DaysFromCivil(night.date);
    size_t filter = 0;
    int refocuses = 0;
    int position = 0;
    const auto focus = [&](double degrees, double noise) {
        return static_cast<int>(std::lround(night.basePosition + night.filters[filter].offset +
                                            night.slope * degrees + noise));
    };
    for (int r = 0; r < night.rows; ++r) {
        const int64_t second = night.startSecond + int64_t{5} * r;
        const int secondOfDay = static_cast<int>(second % 86400);
        const double degrees = night.startDegrees + night.degreesPerHour * (5.0 * r / 3600);

        if (paths.empty() || secondOfDay < 5) {
            char name[64];
            const CivilDate date = CivilFromDays(firstDay + second / 86400);
            std::snprintf(name, sizeof name, "term_log_%d-%02d-%02d.csv", date.year, date.month,
                          date.day);
            paths.push_back(directory + "/" + name);
            out = std::ofstream(paths.back(), std::ios::binary);
            out << "Time,";
            for (int t = 0; t < night.thermometers; ++t) out << "T" << t << ",";
            out << "Focus,Filter\r\n";
        }

        const int phase = r % night.refocusEveryRows;
        if (r == 0) {
            position = focus(degrees, 0);
        } else if (night.compensationEveryRows > 0) {
            if (r % night.compensationEveryRows == 0) position = focus(degrees, 0);
        } else if (phase == night.refocusEveryRows - 24 &&
                   (refocuses + 1) % night.refocusesPerFilter == 0) {
            const size_t next = (filter + 1) % night.filters.size();
            position += night.filters[next].offset - night.filters[filter].offset;
            filter = next;
        } else if (phase == 0) {
            ++refocuses;
            position = focus(degrees, night.positionNoise * unit(random) +
                                          (refocuses == night.badRefocus ? night.badSteps : 0));
        }

        char row[160];
        int length = std::snprintf(row, sizeof row, "%02d:%02d:%02d", secondOfDay / 3600,
                                   secondOfDay / 60 % 60, secondOfDay % 60);
        for (int t = 0; t < night.thermometers; ++t) {
            const double reading = degrees + 5.0 * t + night.readingNoise * unit(random);
            length += std::snprintf(row + length, sizeof row - length, ",%.2f", reading);
        }
        std::snprintf(row + length, sizeof row - length, ",%d,%s\r\n", position,
                      night.filters[filter].name.c_str());
        out << row;
    }
    return paths;
}

}  // namespace kavri::test
