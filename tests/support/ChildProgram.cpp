// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ChildProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "support/TempDir.h"

namespace kavri::test {

ChildProgram::ChildProgram(const char* program, std::vector<std::string> args,
                           const std::string& configHome, int ignored)
    : stderr_(configHome + "/stderr") {
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        const int err = ::open(stderr_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0) ::dup2(err, 2);
        ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (configHome + "/data").c_str(), 1);
        for (int signal = 1; signal < NSIG; ++signal) ::signal(signal, SIG_DFL);
        if (ignored != 0) ::signal(ignored, SIG_IGN);
        std::vector<char*> argv{const_cast<char*>(program)};
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program, argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    stdout_ = ::fdopen(out[0], "r");
}

ChildProgram::~ChildProgram() {
    if (pid_ > 0 && status_ < 0) {
        Signal(SIGKILL);
        Wait();
    }
    if (stdout_) std::fclose(stdout_);
}

std::string ChildProgram::Line() {
    char buffer[512] = {};
    if (!stdout_ || !std::fgets(buffer, sizeof buffer, stdout_)) return {};
    return std::string(buffer, std::strcspn(buffer, "\n"));
}

std::string ChildProgram::Stderr() const { return ReadFileText(stderr_); }

bool ChildProgram::EndsWithin(int limitMs) {
    pollfd p{stdout_ ? ::fileno(stdout_) : -1, POLLIN, 0};
    return ::poll(&p, 1, limitMs) > 0 && std::fgetc(stdout_) == EOF;
}

void ChildProgram::Signal(int signal) const { ::kill(pid_, signal); }

int ChildProgram::WaitWithin(int limitMs) {
    for (int waited = 0; waited < limitMs; waited += 10) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) return Decode(status);
        ::usleep(10000);
    }
    return -1;
}

int ChildProgram::Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    return Decode(status);
}

int ChildProgram::Decode(int status) {
    return status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace kavri::test
