// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DiagnosticSink.h"

namespace kavri {

// Linux has no debugger output channel; a terminal or a service's journal shows standard error.
void DebuggerOutputSink(const char* line) {
    StandardErrorSink(line);
}

}  // namespace kavri
