// SPDX-License-Identifier: GPL-3.0-or-later
// How long one refresh tick of the main dialog blocks the UI thread, against the in-process
// emulator paced at the 9600-baud line rate (4 thermometers, wheel and focuser present).
//
// The dialog connects through COM1 mapped onto the emulator's pseudo-terminal, then OnTimer()
// is called directly, N times (default 50, or the first argument), after a few warm-up ticks.
// A trace on the port counts every byte the tick exchanges in both directions; their line
// time at 10 bits per byte and 9600 baud is what a real line would need at least. Prints the
// median, 90th percentile and maximum blocking time and their ratio to that line time.
//
// A pseudo-terminal carries the host's bytes at once, and the emulator paces only its own
// replies: byte k of a reply leaves k byte times after the first, and the
// next command of a tick arrives well within that time, so the reply bytes alone set the
// floor of what a tick can block here. Blocking minus that floor is the program's own
// overhead; adding the line time of the host's bytes to the measured figure gives what the
// same tick would block on a real 9600-baud line, which is what the ratio is taken of.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ManualTimerService.h"
#include "transport/PortNaming.h"
#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "sim/Emulator.h"
#include "transport/SerialPort.h"
#include "ui/dialogs/ControlDialog.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/qt/QtDialog.h"
#include "ui/qt/UserPrompts.h"

namespace {

using Clock = std::chrono::steady_clock;

// One byte on the line: start bit, 8 data bits, stop bit at 9600 baud.
constexpr double kByteLineTimeMs = 10.0 * 1000.0 / 9600.0;

struct ByteCount {
    long out = 0;  // host to controller
    long in = 0;   // controller to host
};

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    const int ticks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const int warmup = 5;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    kavri::sim::EmulatorOptions options;
    options.fast = false;
    options.thermometers = 4;
    options.log = [](const std::string& line) { std::fprintf(stderr, "sim: %s\n", line.c_str()); };
    kavri::sim::Emulator emulator(options);
    std::string error;
    if (!emulator.Start(&error)) {
        std::fprintf(stderr, "emulator: %s\n", error.c_str());
        return 1;
    }

    // COM1 names the emulator in a port map of this run's own; the user's is not touched.
    char dirTemplate[] = "/tmp/kavri-bench-XXXXXX";
    if (!mkdtemp(dirTemplate)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path dir = dirTemplate;
    std::filesystem::create_directories(dir / "kavri/ports");
    std::filesystem::create_symlink(emulator.SlavePath(), dir / "kavri/ports/com1");
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);

    int status = 0;
    {
        kavri::MemorySettingsStore store;
        kavri::ManualTimerService timers;
        kavri::WheelFocuserDevice device(store, timers);
        device.log.SetSink([](const char*) {});
        device.settings.ComPort = 1;
        kavri::ui::ScopedPromptHandlers prompts([](const kavri::ui::MessageRequest& message) {
            std::fprintf(stderr, "warning: %s\n", message.text.toUtf8().constData());
        });
        kavri::ui::ControlDialog dialog(device);
        kavri::ui::QtDialog window(kavri::ui::ControlDialogTemplate(), dialog);
        dialog.OnConnect();
        if (device.port == nullptr || !device.focuserPresent || !device.wheelPresent ||
            device.config.thermometerCount != 4) {
            std::fprintf(stderr,
                         "the emulator was not connected as wheel, focuser and 4 "
                         "thermometers\n");
            status = 1;
        } else {
            ByteCount count;
            kavri::SetPortTrace(
                device.port, [&](kavri::TraceDirection direction, const uint8_t*, int n) {
                    (direction == kavri::TraceDirection::Out ? count.out : count.in) += n;
                });
            for (int i = 0; i < warmup; ++i) dialog.OnTimer();

            count = {};
            std::vector<double> blockedMs;
            blockedMs.reserve(static_cast<size_t>(ticks));
            for (int i = 0; i < ticks; ++i) {
                const Clock::time_point start = Clock::now();
                dialog.OnTimer();
                blockedMs.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            }
            kavri::SetPortTrace(device.port, {});

            const double outPerTick = static_cast<double>(count.out) / ticks;
            const double inPerTick = static_cast<double>(count.in) / ticks;
            const double lineMs = (outPerTick + inPerTick) * kByteLineTimeMs;
            const double floorMs = inPerTick * kByteLineTimeMs;
            const double hostLineMs = outPerTick * kByteLineTimeMs;
            const double median = Percentile(blockedMs, 0.5);
            const double p90 = Percentile(blockedMs, 0.9);
            const double worst = *std::max_element(blockedMs.begin(), blockedMs.end());
            std::printf("refresh ticks:            %d (after %d warm-up)\n", ticks, warmup);
            std::printf("bytes per tick:           %.1f out + %.1f in = %.1f\n", outPerTick,
                        inPerTick, outPerTick + inPerTick);
            std::printf("line time of those:       %.2f ms (10 bits/byte, 9600 baud)\n", lineMs);
            std::printf("paced floor (replies):    %.2f ms\n", floorMs);
            std::printf("blocked here:             median %.2f ms, p90 %.2f ms, max %.2f ms\n",
                        median, p90, worst);
            std::printf("overhead over the floor:  median %.2f ms, p90 %.2f ms\n", median - floorMs,
                        p90 - floorMs);
            std::printf(
                "on a 9600-baud line:      median %.2f ms (%.3f x line time), "
                "p90 %.2f ms (%.3f x line time)\n",
                median + hostLineMs, (median + hostLineMs) / lineMs, p90 + hostLineMs,
                (p90 + hostLineMs) / lineMs);
            std::fflush(stdout);
        }
        dialog.OnDisconnect();
    }
    emulator.Stop();
    std::filesystem::remove_all(dir);
    return status;
}
