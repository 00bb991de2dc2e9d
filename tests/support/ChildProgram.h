// SPDX-License-Identifier: GPL-3.0-or-later
// A program under test (found on the PATH unless a path is given) as a child process: standard
// output on a pipe, standard error in `home`/stderr, XDG_CONFIG_HOME = `home` and XDG_DATA_HOME =
// `home`/data, and every signal at its default whatever the test runner ignores. With `home`
// empty, environment, standard error and signal dispositions are the test's own.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "support/TempDir.h"

namespace kavri::test {

struct ChildOptions {
    int ignored = 0;          // a signal the program starts with ignored, as under nohup
    bool input = false;       // standard input on a pipe: Write, CloseInput
    std::string stdoutTo{};   // standard output "closed" or into this file instead of the pipe
    bool stderrPipe = false;  // standard error on a pipe too: Read
};

class ChildProgram {
public:
    ChildProgram(const char* program, std::vector<std::string> args, const std::string& home,
                 const ChildOptions& options = {})
        : stderr_(home.empty() ? "" : home + "/stderr") {
        // The child's ends of standard input, output and error, by their numbers.
        int child[3] = {-1, -1, -1};
        constexpr int kWrite = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
        const bool piped[3] = {options.input, options.stdoutTo.empty(), options.stderrPipe};
        for (int fd = 0; fd < 3; ++fd) {
            int ends[2] = {-1, -1};
            if (piped[fd] && ::pipe2(ends, O_CLOEXEC) != 0) return;
            pipes_[fd] = ends[fd == 0 ? 1 : 0];
            child[fd] = ends[fd == 0 ? 0 : 1];
        }
        if (!piped[1] && options.stdoutTo != "closed")
            child[1] = ::open(options.stdoutTo.c_str(), kWrite, 0644);
        if (!piped[2] && !home.empty()) child[2] = ::open(stderr_.c_str(), kWrite, 0644);
        std::vector<char*> argv{const_cast<char*>(program)};
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if ((pid_ = ::fork()) == 0) {
            if (child[0] >= 0) ::dup2(child[0], 0);
            child[1] >= 0 ? ::dup2(child[1], 1) : ::close(1);
            if (child[2] >= 0) ::dup2(child[2], 2);
            if (!home.empty()) {
                ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
                ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
                for (int signal = 1; signal < NSIG; ++signal) ::signal(signal, SIG_DFL);
            }
            if (options.ignored != 0) ::signal(options.ignored, SIG_IGN);
            ::execvp(program, argv.data());
            ::_exit(127);
        }
        for (const int fd : child) ::close(fd);
    }
    ~ChildProgram() {
        if (pid_ > 0 && status_ < 0) Signal(SIGKILL), Wait();
        for (const int fd : pipes_) ::close(fd);
    }
    pid_t Pid() const { return pid_; }
    // The next line of standard output without its newline; empty at its end.
    std::string Line() {
        std::string line;
        for (char c; ::read(pipes_[1], &c, 1) == 1 && c != '\n';) line += c;
        return line;
    }
    // Adds what standard output and error carry next to `out` and `err` (those on pipes); false
    // once both have ended.
    bool Read(std::string& out, std::string& err) {
        pollfd p[2] = {{pipes_[1], POLLIN, 0}, {pipes_[2], POLLIN, 0}};
        if (pipes_[1] < 0 && pipes_[2] < 0) return false;
        ::poll(p, 2, -1);
        for (int i = 0; i < 2; ++i) {
            if (p[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(p[i].fd, buffer, sizeof buffer);
            if (n <= 0) ::close(std::exchange(pipes_[i + 1], -1));
            if (n > 0) (i == 0 ? out : err).append(buffer, static_cast<size_t>(n));
        }
        return true;
    }
    // Standard output's pipe, for the caller to read and close instead.
    int TakeStdout() { return std::exchange(pipes_[1], -1); }
    // Writes `text` whole to standard input.
    bool Write(const std::string& text) const {
        return ::write(pipes_[0], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    void CloseInput() { ::close(std::exchange(pipes_[0], -1)); }
    std::string Stderr() const { return ReadFileText(stderr_); }
    // True when the program ends (its output closes) within `limitMs`.
    bool EndsWithin(int limitMs) {
        pollfd p{pipes_[1], POLLIN, 0};
        char c = 0;
        return ::poll(&p, 1, limitMs) > 0 && ::read(pipes_[1], &c, 1) == 0;
    }
    // Never to pid -1, which would reach every process the test may signal.
    void Signal(int signal) const {
        if (pid_ > 0) ::kill(pid_, signal);
    }
    // The exit status (128 + the signal that killed it), or -1 when not ended within `limitMs`
    // or never started (waitpid(-1) would wait for any other child of the test).
    int Wait(int limitMs = -1) {
        if (pid_ <= 0) return -1;
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
    int pipes_[3] = {-1, -1, -1};  // the test's ends of standard input, output and error
};

}  // namespace kavri::test
