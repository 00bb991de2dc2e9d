// SPDX-License-Identifier: GPL-3.0-or-later
// log-temps: runs the device's 5-second temperature log on the timer loop for the asked number
// of ticks or until the user interrupts it, reporting every row that could not be written.

#include <filesystem>
#include <limits>
#include <ostream>

#include "cli/DeviceView.h"
#include "cli/Interrupts.h"
#include "cli/NameText.h"
#include "cli/Session.h"
#include "device/TemperatureLog.h"
#include "platform/PathText.h"

namespace kavri::cli {

namespace {

// The temperature log of this run, installed for the device's timer so that the run learns
// of every row written and every row that could not be, for as long as the object lives.
class ObservedTemperatureLog {
public:
    ObservedTemperatureLog(TemperatureLog::RowWritten written, TemperatureLog::RowFailed failed) {
        TemperatureLog log = ActiveTemperatureLog();
        log.SetRowWritten(std::move(written));
        log.SetRowFailed(std::move(failed));
        SetActiveTemperatureLog(std::move(log));
    }
    ~ObservedTemperatureLog() { SetActiveTemperatureLog(std::nullopt); }
    ObservedTemperatureLog(const ObservedTemperatureLog&) = delete;
    ObservedTemperatureLog& operator=(const ObservedTemperatureLog&) = delete;
};

std::string WithoutLineEnd(std::string row) {
    while (!row.empty() && (row.back() == '\n' || row.back() == '\r')) row.pop_back();
    return row;
}

class LogTempsCommand : public Command {
public:
    explicit LogTempsCommand(std::optional<std::string> count) : countText_(std::move(count)) {}

    std::string Check() override {
        if (!countText_) return {};
        const auto count = ParseInteger(*countText_, 1, std::numeric_limits<int32_t>::max());
        if (!count) return "row count '" + *countText_ + "' is not a number of at least 1";
        count_ = *count;
        return {};
    }

    Outcome Run(CommandContext& context) override {
        Session& session = *context.session;
        WheelFocuserDevice& device = session.Device();
        // Without a focuser the device writes no temperature log at all.
        if (auto missing = RequireFocuser(device)) return *missing;

        std::filesystem::path file = ActiveTemperatureLog().PathFor(ReadLocalClock());
        int64_t rows = 0;
        int64_t failed = 0;
        bool tickLogged = false;
        bool hungUp = false;

        const ObservedTemperatureLog observed(
            [&](const std::filesystem::path& path, const std::string& row) {
                file = path;  // the next day's file after midnight
                ++rows;
                tickLogged = true;
                // The filter name in the row is windows-1251, as the Windows software writes it.
                if (!context.json) {
                    context.progress << ShownName(WithoutLineEnd(row)) << "\n" << std::flush;
                }
            },
            [&](const std::filesystem::path& path, const std::string& reason) {
                file = path;
                ++failed;
                tickLogged = true;
                context.warnings << "kavrictl: no row written to " << PathText(path) << ": "
                                 << reason << "\n"
                                 << std::flush;
            });
        // Every tick counts towards --count, whether its row was written or not, so a file
        // that cannot be written ends the run instead of holding it for ever.
        session.Timers().SetAfterTick([&] {
            if (!tickLogged) {
                ++failed;
                context.warnings << "kavrictl: no row written on this tick\n" << std::flush;
            }
            tickLogged = false;
            hungUp = PortHungUp(device.port);
            if (hungUp || (count_ && rows + failed >= *count_)) session.Timers().Loop().Stop();
        });
        {
            InterruptScope interrupts(session.Timers().Loop());
            if (!context.json) {
                context.progress << "logging to " << PathText(file) << " every 5 s"
                                 << (count_ ? "" : " until interrupted") << "\n"
                                 << std::flush;
            }
            session.Timers().Loop().Run(InterruptScope::Flag());
        }
        session.Timers().SetAfterTick({});

        Outcome outcome;
        outcome.data["file"] = PathText(file);
        outcome.data["rows"] = rows;
        outcome.data["rowsNotWritten"] = failed;
        outcome.text = std::to_string(rows) + (rows == 1 ? " row" : " rows") + " written to " +
                       PathText(file) + "\n";
        if (hungUp) {
            outcome.status = kExitFailed;
            outcome.error =
                "the controller's line was hung up after " + std::to_string(rows) + " rows";
        } else if (rows == 0 && failed > 0) {
            // Interrupted before the first tick is no failure; ticks without a row are.
            outcome.status = kExitFailed;
            outcome.error = "no row could be written to " + PathText(file);
        }
        return outcome;
    }

private:
    std::optional<std::string> countText_;
    std::optional<int64_t> count_;
};

}  // namespace

std::unique_ptr<Command> MakeLogTempsCommand(const Invocation& invocation) {
    if (invocation.command != "log-temps") return nullptr;
    const auto it = invocation.commandFlags.find("count");
    return std::make_unique<LogTempsCommand>(
        it == invocation.commandFlags.end() ? std::nullopt : std::optional(it->second));
}

}  // namespace kavri::cli
