// SPDX-License-Identifier: GPL-3.0-or-later
#include <csignal>

#include "cli/ProcessSetup.h"

namespace kavri::cli {

void PrepareProcess() {
    std::signal(SIGPIPE, SIG_IGN);
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace kavri::cli
