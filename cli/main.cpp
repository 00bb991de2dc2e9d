// kavrictl: command-line control of the filter wheel and focuser controller.
#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ExitStatus.h"
#include "cli/Kavrictl.h"

int main(int argc, char** argv) {
    // A reader that goes away early (kavrictl ... | head) must not kill the run before the
    // device has disconnected and saved its settings; the failed write is simply lost.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        const int status = kavri::cli::RunKavrictl(args, std::cout, std::cerr);
        std::cout.flush();
        return status;
    } catch (const std::exception& error) {
        std::cerr << "kavrictl: " << error.what() << '\n';
        return kavri::cli::kExitFailed;
    }
}
