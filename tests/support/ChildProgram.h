// SPDX-License-Identifier: GPL-3.0-or-later
// A program under test (found on the PATH unless a path is given) as a child process: standard
// output on a pipe, standard error in `home`/stderr, XDG_CONFIG_HOME = `home` and XDG_DATA_HOME =
// `home`/data, and every signal at its default whatever the test runner ignores (`ignored`: one
// started ignored, as under nohup).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace kavri::test {

class ChildProgram {
public:
    ChildProgram(const char* program, std::vector<std::string> args, const std::string& home,
                 int ignored = 0)
        : stderr_(home + "/stderr") {
        int out[2];
        if (::pipe(out) != 0) return;
        if ((pid_ = ::fork()) == 0) {
            ::dup2(out[1], 1);
            if (const int err = ::open(stderr_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                err >= 0)
                ::dup2(err, 2);
            ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
            ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
            for (int signal = 1; signal < NSIG; ++signal) ::signal(signal, SIG_DFL);
            if (ignored != 0) ::signal(ignored, SIG_IGN);
            std::vector<char*> argv{const_cast<char*>(program)};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execvp(program, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        stdout_ = ::fdopen(out[0], "r");
    }
    ~ChildProgram() {
        if (pid_ > 0 && status_ < 0) Signal(SIGKILL), Wait();
        if (stdout_) std::fclose(stdout_);
    }
    // The next line of standard output without its newline; empty at its end.
    std::string Line() {
        char buffer[512] = {};
        if (!stdout_ || !std::fgets(buffer, sizeof buffer, stdout_)) return {};
        return std::string(buffer, std::strcspn(buffer, "\n"));
    }
    std::string Stderr() const { return ReadFileText(stderr_); }
    // True when the program ends (its output closes) within `limitMs`.
    bool EndsWithin(int limitMs) {
        pollfd p{stdout_ ? ::fileno(stdout_) : -1, POLLIN, 0};
        return ::poll(&p, 1, limitMs) > 0 && std::fgetc(stdout_) == EOF;
    }
    void Signal(int signal) const { ::kill(pid_, signal); }
    // The exit status (128 + the signal that killed it), or -1 when not ended within `limitMs`.
    int Wait(int limitMs = -1) {
        for (int waited = 0;; waited += 10) {
            int status = 0;
            if (::waitpid(pid_, &status, limitMs < 0 ? 0 : WNOHANG) == pid_)
                return status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            if (waited >= limitMs) return -1;
            ::usleep(10000);
        }
    }

private:
    std::string stderr_;
    pid_t pid_ = -1;
    int status_ = -1;
    FILE* stdout_ = nullptr;
};

}  // namespace kavri::test
