// SPDX-License-Identifier: GPL-3.0-or-later
// kavri-sim: the controller emulated on a pseudo-terminal, for trying the programs without
// hardware and for end-to-end tests.
#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "sim/Emulator.h"
#include "sim/ExitSignals.h"
#include "sim/PortLink.h"

namespace {

constexpr const char* kUsage =
    "usage: kavri-sim [--com N | --link PATH] [--state FILE] [--fast]\n"
    "                 [--wheel-only | --focuser-only] [--filters N] [--thermometers N]\n"
    "                 [--focus-frame] [--fault SPEC]... [--trace]\n"
    "\n"
    "Emulates the filter wheel and focuser controller on a pseudo-terminal. The first line\n"
    "on standard output is the device path; it serves until a signal ends it (SIGINT,\n"
    "SIGTERM, SIGHUP, ...), removing its link.\n"
    "\n"
    "  --com N          register as COM N (1..16): link $XDG_CONFIG_HOME/kavri/ports/comN\n"
    "  --link PATH      make a symbolic link at PATH to the device (removed on exit)\n"
    "  --state FILE     keep configuration, filter, focuser position and microstep table\n"
    "  --fast           no line-rate pacing and no motion time\n"
    "  --wheel-only     no focuser: focuser commands get no answer\n"
    "  --focuser-only   no wheel: wheel commands get no answer\n"
    "  --filters N      number of filter slots, 1..10 (default 5)\n"
    "  --thermometers N number of thermometers, 0..8 (default 2)\n"
    "  --focus-frame    filter changes interleave a FWmoveFocus frame before the answer\n"
    "  --fault SPEC     inject a fault (repeatable), see below\n"
    "  --trace          every byte received and sent, with time stamps, on standard error\n"
    "  -h, --help       this text\n"
    "  --version        the version\n"
    "\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "kavri-sim: %s\n%s%s", problem.c_str(), kUsage,
                 kavri::sim::FaultSyntaxHelp());
    return 2;
}

bool ParseNumber(std::string_view text, int low, int high, int* value) {
    auto r = std::from_chars(text.data(), text.data() + text.size(), *value);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && *value >= low &&
           *value <= high;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kavri::sim;
    EmulatorOptions options;
    int com = 0;
    std::string linkPath;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&](std::string_view* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        std::string_view v;
        int n = 0;
        if (arg == "-h" || arg == "--help") {
            std::printf("%s%s", kUsage, FaultSyntaxHelp());
            return 0;
        } else if (arg == "--version") {
            std::printf("kavri-sim %s\n", KAVRI_VERSION);
            return 0;
        } else if (arg == "--fast") {
            options.fast = true;
        } else if (arg == "--wheel-only") {
            options.wheelOnly = true;
        } else if (arg == "--focuser-only") {
            options.focuserOnly = true;
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--focus-frame") {
            options.focusFrame = true;
        } else if (arg == "--com") {
            if (!value(&v) || !ParseNumber(v, 1, 16, &com))
                return Usage("--com needs a port number 1..16");
        } else if (arg == "--link") {
            if (!value(&v) || v.empty()) return Usage("--link needs a path");
            linkPath = v;
        } else if (arg == "--state") {
            if (!value(&v) || v.empty()) return Usage("--state needs a file");
            options.stateFile = v;
        } else if (arg == "--filters") {
            if (!value(&v) || !ParseNumber(v, 1, 10, &n))
                return Usage("--filters needs a number 1..10");
            options.filters = n;
        } else if (arg == "--thermometers") {
            if (!value(&v) || !ParseNumber(v, 0, 8, &n))
                return Usage("--thermometers needs a number 0..8");
            options.thermometers = n;
        } else if (arg == "--fault") {
            if (!value(&v)) return Usage("--fault needs a SPEC");
            std::string error;
            auto fault = ParseFault(v, &error);
            if (!fault) return Usage("--fault " + std::string(v) + ": " + error);
            options.faults.push_back(*fault);
        } else {
            return Usage("unknown argument '" + std::string(arg) + "'");
        }
    }
    if (options.wheelOnly && options.focuserOnly)
        return Usage("--wheel-only and --focuser-only exclude each other");
    if (com != 0 && !linkPath.empty()) return Usage("--com and --link exclude each other");
    if (com != 0) linkPath = ComPortLinkPath(com);

    // Every signal that would end the program is taken with sigwait on this thread, so the
    // link goes with it; the serving thread inherits the mask. A hang-up fault reports
    // itself with a SIGUSR1 to this process.
    sigset_t signals = StopSignals();
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    options.onHangUp = [] { ::kill(::getpid(), SIGUSR1); };

    Emulator emulator(options);
    std::string error;
    if (!emulator.Start(&error)) {
        std::fprintf(stderr, "kavri-sim: %s\n", error.c_str());
        return 1;
    }
    // Armed before the link exists, so no fault can leave it behind.
    if (!linkPath.empty()) RemoveLinkOnFault(linkPath, emulator.SlavePath());
    PortLink link;
    if (!linkPath.empty() && !link.Create(linkPath, emulator.SlavePath(), &error)) {
        std::fprintf(stderr, "kavri-sim: %s\n", error.c_str());
        emulator.Stop();
        return 1;
    }
    std::printf("%s\n", emulator.SlavePath().c_str());
    std::fflush(stdout);
    if (!linkPath.empty()) {
        std::fprintf(stderr, "kavri-sim: %s -> %s\n", linkPath.c_str(),
                     emulator.SlavePath().c_str());
    }

    siginfo_t received{};
    while (sigwaitinfo(&signals, &received) < 0) {
    }
    if (received.si_signo == SIGUSR1 && received.si_pid == ::getpid())
        std::fprintf(stderr, "kavri-sim: the line was hung up (fault)\n");
    link.Remove();
    emulator.Stop();
    return 0;
}
