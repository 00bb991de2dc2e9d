// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of kavri-alpaca.
#pragma once

#include <ostream>
#include <string>

#include "alpaca/AlpacaServer.h"

namespace kavri::alpaca {

struct ProgramOptions {
    std::string port;  // as given; empty: the stored port
    ServerOptions server;
};

// Parses the command line into `options`. Returns -1 to go on, or the exit status when the
// program is done: 0 after --help or --version (printed to `out`), 2 for bad usage (the reason
// and a hint printed to `err`).
int ParseOptions(int argc, const char* const* argv, ProgramOptions& options, std::ostream& out,
                 std::ostream& err);

}  // namespace kavri::alpaca
