// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <signal.h>

#include <string>

// The signals that would end kavri-sim, taken so that it removes its port link whichever one
// ends it: a link left behind makes a stale COM port.
namespace kavri::sim {

// Every signal that ends the program by default and comes from outside: SIGINT, SIGTERM,
// SIGHUP (the terminal closed), SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, the real-time
// signals and the rest. The program blocks them in every thread and takes them with
// sigwait, so it shuts down in order. (A SIGPIPE that a write of the serving thread raises
// stays pending in that thread: the emulator goes on serving without its lost output.)
// Signals the program was started with ignored, as under nohup, are left out.
sigset_t StopSignals();

// Faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT) cannot wait for sigwait:
// from now on, a handler removes the link at `path`, if it still points to `target`, and
// lets the signal take its course as before.
void RemoveLinkOnFault(const std::string& path, const std::string& target);

}  // namespace kavri::sim
