// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/KavrictlFixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

namespace kavri::test {

CliResult RunCli(const std::vector<std::string>& args, const CliOptions& options) {
    // The test's environment with the given variables replaced or added.
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        if (!options.environment.count(std::string(*e).substr(0, std::strcspn(*e, "="))))
            envStrings.push_back(*e);
    }
    for (const auto& [name, value] : options.environment) envStrings.push_back(name + "=" + value);
    std::vector<std::string> argStrings{KAVRICTL_PROGRAM};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    const auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> p;
        for (auto& s : strings) p.push_back(s.data());
        p.push_back(nullptr);
        return p;
    };
    std::vector<char*> envp = pointers(envStrings);
    std::vector<char*> argv = pointers(argStrings);

    int outPipe[2];
    int errPipe[2];
    CliResult result;
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.stdoutTo == "closed") {
        posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO);
    } else if (!options.stdoutTo.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.stdoutTo.c_str(),
                                         O_WRONLY, 0);
    } else {
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    }
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return result;
    }

    // A child that never ends is left to the test's own time limit.
    bool interrupted = false;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
                continue;
            }
            (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
        }
        if (!interrupted && !options.interruptAfter.empty() &&
            result.out.find(options.interruptAfter) != std::string::npos) {
            kill(pid, SIGINT);
            interrupted = true;
        }
    }
    for (auto& fd : fds) {
        if (fd.fd >= 0) close(fd.fd);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace kavri::test
