// Where diagnostic lines go besides the log file: standard error unless replaced.
#pragma once

#include <functional>

namespace kavri {

// Receives one complete, NUL-terminated line, exactly as formatted (line end included).
using DiagnosticSink = std::function<void(const char* line)>;

// The default sink: writes the line unchanged to standard error.
void StandardErrorSink(const char* line);

}  // namespace kavri
