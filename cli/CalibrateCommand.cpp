// SPDX-License-Identifier: GPL-3.0-or-later
// calibrate: the temperature-compensation coefficient from the daily temperature logs, with an
// optional SVG plot, and with --apply written into the controller's configuration image.
//
// Sign: the controller moves the focuser by thermoCompStepsPerDegree steps for each degree the
// temperature rises, so the coefficient to store is the slope d(position)/d(temperature) of the
// positions the user focused at: storing it makes the controller move as the user refocused.

#include <cmath>
#include <cstdio>
#include <fstream>

#include "calibration/CompensationFit.h"
#include "calibration/FocusLogFiles.h"
#include "cli/CalibrationPlot.h"
#include "cli/DeviceView.h"
#include "cli/NameText.h"
#include "cli/Session.h"
#include "cli/TextTable.h"
#include "device/DeviceOperations.h"
#include "device/SettingsBlock.h"
#include "device/TemperatureLog.h"
#include "persist/DefaultSettingsStore.h"
#include "persist/RegistrySettings.h"
#include "persist/SettingsValueAccess.h"
#include "platform/PathText.h"
#include "platform/RegularFile.h"

namespace kavri::cli {

namespace {

// Without files and without --since, the logs of this many days, today included.
constexpr int kDefaultDays = 30;

// The stored settings the calibration uses, read without connecting.
struct StoredSettings {
    int thermometer = SettingsBlock{}.AscomPreferredTermometer;
    double stepLength = SettingsBlock{}.StepLenInMicrons;
};

StoredSettings ReadStoredSettings() {
    StoredSettings settings;
    const std::unique_ptr<const SettingsStore> store =
        OpenDefaultSettingsStore();  // read only: never flushed
    SettingsValue value;
    int32_t thermometer = 0;
    if (store->QueryValue(DriverKey, "AscomPreferredTermometer", value) &&
        ReadValueInt32(value, thermometer)) {
        settings.thermometer = thermometer;
    }
    double stepLength = 0;
    if (store->QueryValue(DriverKey, "StepLenInMicrons", value) &&
        ReadValueDouble(value, stepLength)) {
        settings.stepLength = stepLength;
    }
    return settings;
}

CivilDate Today() {
    const LocalDateTime now = ReadLocalClock();
    return {now.year, now.month, now.day};
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// "10", "2.5", "0.125": the setting as the user typed it.
std::string Shortest(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string Count(int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A filter name for people, as every command shows names, and "(none)" for the empty name of
// a controller without a wheel.
std::string ShownFilterName(const std::string& bytes) {
    return bytes.empty() ? "(none)" : ShownName(bytes);
}

const char* UseName(FocusPointUse use) {
    switch (use) {
        case FocusPointUse::Used:
            return "used";
        case FocusPointUse::Outlier:
            return "outlier";
        case FocusPointUse::Alone:
            return "alone";
    }
    return "";
}

std::string TimeOfDay(int secondOfDay) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", secondOfDay / 3600, secondOfDay / 60 % 60,
                  secondOfDay % 60);
    return text;
}

class CalibrateCommand : public Command {
public:
    explicit CalibrateCommand(const Invocation& invocation) : logs_(invocation.args) {
        const auto flag = [&](const char* name) -> std::optional<std::string> {
            const auto it = invocation.commandFlags.find(name);
            if (it == invocation.commandFlags.end()) return std::nullopt;
            return it->second;
        };
        thermometerText_ = flag("thermometer");
        sinceText_ = flag("since");
        plot_ = flag("plot");
        apply_ = invocation.commandSwitches.count("apply") > 0;
        force_ = invocation.commandSwitches.count("force") > 0;
    }

    std::string Check() override {
        if (force_ && !apply_) return "--force goes with --apply";
        if (thermometerText_) {
            const auto value = ParseInteger(*thermometerText_, 0, kMaxThermometers - 1);
            if (!value) return "thermometer '" + *thermometerText_ + "' is not 0..7";
            thermometer_ = static_cast<int>(*value);
        }
        if (sinceText_) {
            since_ = ParseIsoDate(*sinceText_);
            if (!since_) return "date '" + *sinceText_ + "' is not a date YYYY-MM-DD";
        }
        for (const std::string& log : logs_) {
            std::error_code error;
            if (!std::filesystem::is_regular_file(PathFromText(log), error) ||
                !std::ifstream(PathFromText(log))) {
                return "cannot read the log " + log;
            }
        }
        return {};
    }

    Outcome Run(CommandContext& context) override {
        const StoredSettings settings = ReadStoredSettings();
        int thermometer = thermometer_.value_or(settings.thermometer);
        if (thermometer < 0 || thermometer >= kMaxThermometers) {
            context.warnings << "kavrictl: the stored AscomPreferredTermometer " << thermometer
                             << " is not 0..7; reading T0\n";
            thermometer = 0;
        }

        std::vector<std::filesystem::path> paths;
        std::string where;
        if (logs_.empty()) {
            const CivilDate first =
                since_.value_or(CivilFromDays(DaysFromCivil(Today()) - (kDefaultDays - 1)));
            const std::filesystem::path directory = ActiveTemperatureLog().Directory();
            paths = DailyLogsSince(directory, first);
            where = PathText(directory) + " since " + FormatIsoDate(first);
        } else {
            // --since also leaves out named logs dated before it; undated ones stay.
            for (const std::string& log : logs_) {
                const auto date = LogFileDate(PathFromText(log));
                if (!since_ || !date || *date >= *since_) paths.push_back(PathFromText(log));
            }
            // Only --since can leave none of them.
            where = "the files given dated " + (since_ ? FormatIsoDate(*since_) : "") + " or later";
        }
        if (paths.empty()) return Outcome::Failure(kExitFailed, "no temperature logs in " + where);

        const FocusLogScan scan = ScanFocusLogs(OrderLogs(paths), thermometer);
        for (const LogFileStats& log : scan.logs) {
            if (!log.readable) {
                context.warnings << "kavrictl: cannot read the log " << log.path << "\n";
            } else if (log.rows > 0 && log.withoutThermometer == log.rows) {
                context.warnings << "kavrictl: " << log.path << " has no T" << thermometer
                                 << " column; it adds nothing\n";
            }
        }
        const CompensationFit fit = FitCompensation(scan.points);
        std::vector<std::string> names;
        for (const std::string& filter : fit.filters) names.push_back(ShownFilterName(filter));

        Outcome outcome = Describe(scan, fit, names, thermometer, settings.stepLength);
        if (plot_) {
            // A regular file only, as for --log: a FIFO without a reader would hold the run.
            std::FILE* file = OpenRegularFile(*plot_, RegularFileMode::Truncate);
            if (file == nullptr) {
                return Outcome::Failure(kExitFailed,
                                        "cannot write the plot " + *plot_ + " as a regular file");
            }
            const std::string svg = RenderCalibrationPlot(scan.points, fit, names, thermometer);
            const bool written = std::fwrite(svg.data(), 1, svg.size(), file) == svg.size();
            if (std::fclose(file) != 0 || !written) {
                return Outcome::Failure(kExitFailed, "cannot write the plot " + *plot_);
            }
            outcome.data["plot"] = *plot_;
            outcome.text += "plot: " + *plot_ + "\n";
        }
        if (fit.refusal != FitRefusal::None) {
            outcome.status = kExitFailed;
            outcome.error = fit.refusal == FitRefusal::TooFewPoints
                                ? "no coefficient: " +
                                      Count(fit.used, "usable focus point", "usable focus points") +
                                      ", at least " + std::to_string(kMinFocusPoints) + " needed"
                                : "no coefficient: the focus points of a filter span at most " +
                                      Fixed(fit.span, 1) + " °C, at least " +
                                      Fixed(kMinTemperatureSpan, 0) + " °C needed";
            return outcome;
        }
        if (apply_) {
            if (const std::string refusal = ApplyRefusal(fit); !refusal.empty()) {
                outcome.status = kExitFailed;
                outcome.error = refusal;
                return outcome;
            }
            Apply(context, CompensationCoefficient(fit.slope), outcome);
        }
        return outcome;
    }

private:
    // Why the fitted slope must not be written, or nothing. A slope beyond what the controller
    // holds would be stored cut to its limit, a coefficient the data never gave: refused, with no
    // way round. A slope whose 95 % interval is wider than the slope itself is one the data do
    // not support (too few points, too narrow a span, too much scatter): the focuser could move
    // half as far or twice as far as it should. --force applies that one anyway.
    std::string ApplyRefusal(const CompensationFit& fit) const {
        if (std::fabs(std::round(fit.slope)) > kMaxCompensationSteps) {
            return "not applied: the slope " + Fixed(fit.slope, 2) +
                   " steps/°C lies beyond what the controller holds (-" +
                   std::to_string(kMaxCompensationSteps) + ".." +
                   std::to_string(kMaxCompensationSteps) + ")";
        }
        if (!force_ && !SlopeSupported(fit)) {
            return "not applied: the 95 % interval " + Fixed(fit.slopeLow, 2) + " to " +
                   Fixed(fit.slopeHigh, 2) + " is wider than the slope " + Fixed(fit.slope, 2) +
                   " itself, so the data do not support it (more focus points over a wider "
                   "temperature span narrow it; --force applies it anyway)";
        }
        return {};
    }

    static bool SlopeSupported(const CompensationFit& fit) {
        return fit.slopeHigh - fit.slopeLow <= std::fabs(fit.slope);
    }

    Outcome Describe(const FocusLogScan& scan, const CompensationFit& fit,
                     const std::vector<std::string>& names, int thermometer,
                     double stepLength) const {
        Outcome outcome;
        Json& data = outcome.data;
        int64_t rows = 0, malformed = 0, skipped = 0;
        Json logs = Json::array();
        for (const LogFileStats& log : scan.logs) {
            rows += log.rows;
            malformed += log.malformed;
            skipped += log.skipped + log.withoutThermometer;
            logs.push_back({{"file", log.path},
                            {"readable", log.readable},
                            {"rows", log.rows},
                            {"malformed", log.malformed},
                            {"skipped", log.skipped},
                            {"withoutThermometer", log.withoutThermometer}});
        }
        data["thermometer"] = thermometer;
        data["logs"] = logs;
        data["rows"] = rows;
        data["malformed"] = malformed;
        data["skipped"] = skipped;
        data["duplicates"] = scan.duplicates;
        data["pointsLeftOut"] = scan.leftOut;
        Json points = Json::array();
        for (size_t i = 0; i < scan.points.size(); ++i) {
            const FocusPoint& point = scan.points[i];
            points.push_back({{"date", point.date},
                              {"time", TimeOfDay(point.secondOfDay)},
                              {"filter", names[static_cast<size_t>(fit.filterOfPoint[i])]},
                              {"temperature", point.temperature},
                              {"position", point.position},
                              {"rows", point.rows},
                              {"seconds", point.seconds},
                              {"use", UseName(fit.use[i])}});
        }
        data["points"] = points;
        data["pointsUsed"] = fit.used;
        data["pointsRejected"] = fit.outliers + fit.alone;
        data["outliers"] = fit.outliers;
        data["alone"] = fit.alone;
        data["temperatureSpan"] = fit.span;

        std::string& text = outcome.text;
        text = "logs: " + Count(static_cast<int64_t>(scan.logs.size()), "file", "files") + ", " +
               Count(rows, "row", "rows") + ", " +
               Count(malformed, "malformed line", "malformed lines") + ", " +
               Count(skipped, "row", "rows") + " without T" + std::to_string(thermometer) +
               " or position\n";
        if (scan.duplicates > 0) {
            text += Count(scan.duplicates, "duplicate point", "duplicate points") +
                    " left out (the same run in two logs)\n";
        }
        if (scan.leftOut > 0) {
            text += Count(scan.leftOut, "older focus point", "older focus points") +
                    " left out: only the newest " + std::to_string(kMaxFocusPoints) + " are used\n";
        }
        text += "focus points: " + std::to_string(fit.used) + " used, " +
                std::to_string(fit.outliers + fit.alone) + " rejected (" +
                Count(fit.outliers, "outlier", "outliers") + ", " + std::to_string(fit.alone) +
                " alone in their filter)\n";
        if (!fit.filters.empty()) {
            TextTable table({false, true, true});
            table.AddRow({"filter", "points", "used"});
            for (size_t f = 0; f < fit.filters.size(); ++f) {
                int all = 0, used = 0;
                for (size_t i = 0; i < scan.points.size(); ++i) {
                    if (static_cast<size_t>(fit.filterOfPoint[i]) != f) continue;
                    ++all;
                    used += fit.use[i] == FocusPointUse::Used;
                }
                table.AddRow({names[f], std::to_string(all), std::to_string(used)});
            }
            text += table.Render();
        }
        text += "temperature span: " + Fixed(fit.span, 1) + " °C (T" + std::to_string(thermometer) +
                ", the widest of one filter)\n";
        if (fit.refusal != FitRefusal::None) return outcome;

        const int coefficient = CompensationCoefficient(fit.slope);
        data["slope"] = fit.slope;
        data["slopeLow"] = fit.slopeLow;
        data["slopeHigh"] = fit.slopeHigh;
        data["StepLenInMicrons"] = stepLength;
        text += "slope: " + Fixed(fit.slope, 2) + " steps/°C, 95 % interval " +
                Fixed(fit.slopeLow, 2) + " to " + Fixed(fit.slopeHigh, 2) + "\n";
        // A step length that is not a positive number gives no micrometres rather than nonsense.
        if (std::isfinite(stepLength) && stepLength > 0) {
            data["micronsPerDegree"] = fit.slope * stepLength;
            data["micronsPerDegreeLow"] = fit.slopeLow * stepLength;
            data["micronsPerDegreeHigh"] = fit.slopeHigh * stepLength;
            text += "       " + Fixed(fit.slope * stepLength, 1) + " µm/°C, 95 % interval " +
                    Fixed(fit.slopeLow * stepLength, 1) + " to " +
                    Fixed(fit.slopeHigh * stepLength, 1) + " (StepLenInMicrons " +
                    Shortest(stepLength) + ")\n";
        } else {
            data["micronsPerDegree"] = nullptr;
        }
        data["thermoCompStepsPerDegree"] = coefficient;
        data["applied"] = false;
        data["supported"] = SlopeSupported(fit);
        text += "thermoCompStepsPerDegree: " + std::to_string(coefficient) +
                (std::fabs(std::round(fit.slope)) > kMaxCompensationSteps
                     ? " (the slope lies beyond what the controller holds)"
                 : !SlopeSupported(fit) ? " (the interval is wider than the slope: the data do "
                                          "not support it)"
                                        : "") +
                "\n";
        return outcome;
    }

    // Connects only now that there is a coefficient, writes it as `config` would and reads it
    // back; a failure keeps the report and sets the exit status.
    void Apply(CommandContext& context, int coefficient, Outcome& outcome) const {
        Session session(*context.options, context.warnings);
        std::string error;
        if (!session.Connect(error)) {
            outcome.status = kExitNoController;
            outcome.error = error;
            return;
        }
        std::optional<Outcome> failure = RequireFocuser(session.Device());
        if (!failure &&
            !WriteConfiguration(session.Device(),
                                {{FindConfigField("thermoCompStepsPerDegree"), coefficient}})) {
            failure = Outcome::Failure(kExitFailed, FailureText(session.Device()));
        }
        if (failure) {
            outcome.status = failure->status;
            outcome.error = failure->error;
            return;
        }
        outcome.data["applied"] = true;
        outcome.text += "written to the controller on " + session.PortName() +
                        " and read back: thermoCompStepsPerDegree " + std::to_string(coefficient) +
                        "\n";
    }

    std::vector<std::string> logs_;
    std::optional<std::string> thermometerText_;
    std::optional<std::string> sinceText_;
    std::optional<std::string> plot_;
    bool apply_ = false;
    bool force_ = false;
    std::optional<int> thermometer_;
    std::optional<CivilDate> since_;
};

}  // namespace

std::unique_ptr<Command> MakeCalibrateCommand(const Invocation& invocation) {
    if (invocation.command != "calibrate") return nullptr;
    return std::make_unique<CalibrateCommand>(invocation);
}

}  // namespace kavri::cli
