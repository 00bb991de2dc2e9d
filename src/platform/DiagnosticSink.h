// SPDX-License-Identifier: GPL-3.0-or-later
// Where diagnostic lines go besides the log file: the debugger output unless replaced.
#pragma once

#include <functional>

namespace kavri {

// Receives one complete, NUL-terminated line, exactly as formatted (line end included).
using DiagnosticSink = std::function<void(const char* line)>;

// Writes the line unchanged to standard error.
void StandardErrorSink(const char* line);

// The default sink, the platform's debugger output: OutputDebugStringA on Windows (a
// debugger or a viewer of debug output shows the lines), standard error elsewhere.
void DebuggerOutputSink(const char* line);

}  // namespace kavri
