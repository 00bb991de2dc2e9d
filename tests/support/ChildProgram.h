// SPDX-License-Identifier: GPL-3.0-or-later
// A program under test as a child process: standard output on a pipe, standard error in
// `configHome`/stderr, XDG_CONFIG_HOME (and XDG_DATA_HOME, as `configHome`/data) pointing into
// the test's folder, and every signal at its default whatever the test runner ignores.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kavri::test {

class ChildProgram {
public:
    // `ignored`: a signal the program starts with ignored, as under nohup.
    ChildProgram(const char* program, std::vector<std::string> args, const std::string& configHome,
                 int ignored = 0);
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // The next line of standard output without its newline; empty at its end.
    std::string Line();
    std::string Stderr() const;
    // True when the program ends (its output closes) within `limitMs`.
    bool EndsWithin(int limitMs);
    // The exit status, or -1 when the program has not ended within `limitMs`.
    int WaitWithin(int limitMs);
    void Signal(int signal) const;
    // The exit status (128 + the signal for a program killed by one).
    int Wait();

private:
    int Decode(int status);
    std::string stderr_;
    pid_t pid_ = -1;
    int status_ = -1;
    FILE* stdout_ = nullptr;
};

}  // namespace kavri::test
