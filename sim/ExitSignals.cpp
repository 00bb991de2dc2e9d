// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/ExitSignals.h"

#include <unistd.h>

#include <cstring>

namespace kavri::sim {

namespace {

constexpr int kStopSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM, SIGPIPE,
                                SIGALRM, SIGUSR1, SIGUSR2, SIGPROF, SIGVTALRM,
                                SIGXCPU, SIGXFSZ, SIGIO,   SIGPWR,  SIGSTKFLT};
constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT};

// What the handler needs, prepared beforehand: it may only call async-signal-safe functions.
char linkPath[4096];
char linkTarget[4096];
std::size_t linkTargetLength = 0;
volatile sig_atomic_t armed = 0;
struct sigaction previous[NSIG];

void OnFault(int signal, siginfo_t* info, void*) {
    if (armed) {
        armed = 0;
        char target[sizeof linkTarget];
        const ssize_t n = ::readlink(linkPath, target, sizeof target);
        if (n == static_cast<ssize_t>(linkTargetLength) &&
            std::memcmp(target, linkTarget, linkTargetLength) == 0)
            ::unlink(linkPath);
    }
    ::sigaction(signal, &previous[signal], nullptr);
    // A fault recurs when the instruction is retried; a signal that was sent (kill, abort)
    // is raised again, to be delivered under the previous action once this handler returns.
    if (info == nullptr || info->si_code <= 0) ::raise(signal);
}

}  // namespace

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    auto add = [&set](int signal) {
        // A signal the program was started with ignored (nohup) stays ignored.
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) return;
        sigaddset(&set, signal);
    };
    for (int signal : kStopSignals) add(signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) add(signal);
    return set;
}

void RemoveLinkOnFault(const std::string& path, const std::string& target) {
    if (path.size() >= sizeof linkPath || target.size() >= sizeof linkTarget) return;
    std::memcpy(linkPath, path.c_str(), path.size() + 1);
    std::memcpy(linkTarget, target.c_str(), target.size() + 1);
    linkTargetLength = target.size();
    armed = 1;
    struct sigaction action {};
    action.sa_sigaction = OnFault;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    for (int signal : kFaultSignals) ::sigaction(signal, &action, &previous[signal]);
}

}  // namespace kavri::sim
