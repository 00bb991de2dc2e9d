// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include <cstdlib>

#include "cli/ProcessSetup.h"
#include "platform/WideTextWin32.h"

namespace kavri::cli {

namespace {

UINT originalOutputCodePage = 0;

void RestoreOutputCodePage() {
    if (originalOutputCodePage != 0) SetConsoleOutputCP(originalOutputCodePage);
}

}  // namespace

void PrepareProcess() {
    // The console keeps the code page after the program ends: it is put back at exit.
    originalOutputCodePage = GetConsoleOutputCP();
    if (originalOutputCodePage != 0 && originalOutputCodePage != CP_UTF8 &&
        SetConsoleOutputCP(CP_UTF8)) {
        std::atexit(RestoreOutputCodePage);
    }
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(WideToUtf8(wide[i]));
    LocalFree(wide);
    return args;
}

}  // namespace kavri::cli
