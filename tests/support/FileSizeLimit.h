// SPDX-License-Identifier: GPL-3.0-or-later
// A full disk, simulated: while the object lives, files cannot grow beyond `bytes` (writes
// beyond it fail with EFBIG instead of raising SIGXFSZ). Child processes started meanwhile
// inherit the limit.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstddef>

namespace kavri::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(size_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit small = old_;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int);
};

}  // namespace kavri::test
