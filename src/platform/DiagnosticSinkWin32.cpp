// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include "platform/DiagnosticSink.h"

namespace kavri {

void DebuggerOutputSink(const char* line) {
    OutputDebugStringA(line);
}

}  // namespace kavri
