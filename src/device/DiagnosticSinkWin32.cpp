#include <windows.h>

#include "device/DiagnosticSink.h"

namespace kavri {

void DebuggerOutputSink(const char* line) {
    OutputDebugStringA(line);
}

}  // namespace kavri
