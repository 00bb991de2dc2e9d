// log-temps: runs the device's 5-second temperature log on the timer loop until the asked
// number of rows has been written or the user interrupts it.

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <ostream>
#include <set>

#include "cli/DeviceView.h"
#include "cli/Session.h"
#include "device/TemperatureLog.h"

namespace kavri::cli {

namespace {

volatile std::sig_atomic_t interruptFlag = 0;
LoopTimerService* interruptedLoop = nullptr;

void OnInterrupt(int) {
    interruptFlag = 1;
    if (interruptedLoop) interruptedLoop->Stop();  // async-signal-safe
}

// SIGINT and SIGTERM end the loop instead of the process, for the scope of this object, so the
// device still disconnects and saves its settings.
class InterruptScope {
public:
    explicit InterruptScope(LoopTimerService& loop) {
        interruptFlag = 0;
        interruptedLoop = &loop;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~InterruptScope() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
        interruptedLoop = nullptr;
    }
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

uintmax_t FileSize(const std::filesystem::path& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

std::string LastLine(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::string line;
    std::string last;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) last = line;
    }
    return last;
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

        const TemperatureLog log = ActiveTemperatureLog();
        std::filesystem::path file = log.PathFor(ReadLocalClock());
        std::map<std::filesystem::path, uintmax_t> sizes{{file, FileSize(file)}};
        int64_t rows = 0;
        bool hungUp = false;

        // A row counts when the day's file grew during the tick (the file of the day before,
        // too, for a tick at midnight).
        session.Timers().SetAfterTick([&] {
            const std::filesystem::path today = log.PathFor(ReadLocalClock());
            bool written = false;
            for (const auto& path : std::set<std::filesystem::path>{file, today}) {
                const uintmax_t size = FileSize(path);
                if (size > sizes[path]) written = true;
                sizes[path] = size;
            }
            if (written) {
                file = today;
                ++rows;
                if (!context.json) context.progress << LastLine(file) << "\n" << std::flush;
            } else {
                context.warnings << "kavrictl: no row written to " << today.string() << "\n"
                                 << std::flush;
            }
            hungUp = PortHungUp(device.port);
            if (hungUp || (count_ && rows >= *count_)) session.Timers().Loop().Stop();
        });
        {
            InterruptScope interrupts(session.Timers().Loop());
            if (!context.json) {
                context.progress << "logging to " << file.string() << " every 5 s"
                                 << (count_ ? "" : " until interrupted") << "\n"
                                 << std::flush;
            }
            session.Timers().Loop().Run(&interruptFlag);
        }
        session.Timers().SetAfterTick({});

        Outcome outcome;
        outcome.data["file"] = file.string();
        outcome.data["rows"] = rows;
        outcome.text = std::to_string(rows) + (rows == 1 ? " row" : " rows") + " written to " +
                       file.string() + "\n";
        if (hungUp) {
            outcome.status = kExitFailed;
            outcome.error =
                "the controller's line was hung up after " + std::to_string(rows) + " rows";
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
