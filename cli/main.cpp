// SPDX-License-Identifier: GPL-3.0-or-later
// kavrictl: command-line control of the filter wheel and focuser controller.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ExitStatus.h"
#include "cli/Kavrictl.h"
#include "cli/ProcessSetup.h"

namespace {

// Everything printed reached standard output; otherwise says so where it still can.
bool StandardOutputWritten() {
    // The stream writes through the C stream, whose flush reports the system's error.
    errno = 0;
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (flushed && std::cout && !std::ferror(stdout)) return true;
    std::cerr << "kavrictl: cannot write standard output"
              << (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) << '\n';
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    kavri::cli::PrepareProcess();
    int status = kavri::cli::kExitFailed;
    try {
        const std::vector<std::string> args = kavri::cli::ProgramArguments(argc, argv);
        status = kavri::cli::RunKavrictl(args, std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "kavrictl: " << error.what() << '\n';
    }
    // Output that was lost makes a run that otherwise succeeded a failure.
    if (!StandardOutputWritten() && status == kavri::cli::kExitOk) status = kavri::cli::kExitFailed;
    return status;
}
