// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DiagnosticSink.h"

#include <cstdio>

namespace kavri {

void StandardErrorSink(const char* line) {
    std::fputs(line, stderr);
    std::fflush(stderr);
}

}  // namespace kavri
