// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/KavrictlFixture.h"

#include "support/ChildProgram.h"

namespace kavri::test {

CliResult RunCli(const std::vector<std::string>& args, const CliOptions& options) {
    ChildProgram program(KAVRICTL_PROGRAM, args, "",
                         {.stdoutTo = options.stdoutTo, .stderrPipe = true});
    // A child that never ends is left to the test's own time limit.
    CliResult result;
    bool interrupt = !options.interruptAfter.empty();
    while (program.Read(result.out, result.err)) {
        if (interrupt && result.out.find(options.interruptAfter) != std::string::npos) {
            program.Signal(SIGINT);
            interrupt = false;
        }
    }
    result.status = program.Wait();
    return result;
}

}  // namespace kavri::test
