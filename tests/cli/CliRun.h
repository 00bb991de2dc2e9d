// Runs the kavrictl executable as a child process with its own environment, and collects its
// standard output, standard error and exit status.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kavri::test {

struct CliResult {
    int status = -1;  // exit status; -1 when the child did not exit normally
    std::string out;
    std::string err;

    // The first line of standard error.
    std::string FirstErrorLine() const;
};

struct CliOptions {
    // Replaces or adds these variables to the test's environment.
    std::map<std::string, std::string> environment;
    // When standard output first contains this text, the child gets SIGINT.
    std::string interruptAfter;
    // The child is killed after this long; the result then has status -1.
    int timeoutMs = 60000;
    // Standard output of the child: collected (empty), "closed", or a file opened for writing.
    std::string stdoutTo;
};

CliResult RunCli(const std::vector<std::string>& args, const CliOptions& options);

}  // namespace kavri::test
