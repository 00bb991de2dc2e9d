// kavrictl: command-line control of the filter wheel and focuser controller.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ExitStatus.h"
#include "cli/Kavrictl.h"

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
    // A reader that goes away early (kavrictl ... | head) must not kill the run before the
    // device has disconnected and saved its settings; the failed write is reported instead.
    std::signal(SIGPIPE, SIG_IGN);
    int status = kavri::cli::kExitFailed;
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        status = kavri::cli::RunKavrictl(args, std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "kavrictl: " << error.what() << '\n';
    }
    // Output that was lost makes a run that otherwise succeeded a failure.
    if (!StandardOutputWritten() && status == kavri::cli::kExitOk) status = kavri::cli::kExitFailed;
    return status;
}
