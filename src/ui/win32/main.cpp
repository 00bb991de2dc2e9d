// SPDX-License-Identifier: GPL-3.0-or-later
// kavri-control.exe: the desktop program on Windows, with native dialogs built from the same
// templates, and running the same dialog behaviour, as the Qt program. Settings come from the
// registry (the Windows settings store) and go back there at exit; ports are the system's COM
// ports.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <memory>
#include <string>

#include "device/WheelFocuserDevice.h"
#include "persist/DefaultSettingsStore.h"
#include "platform/WideTextWin32.h"
#include "ui/dialogs/ControlDialog.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/win32/DialogWindow.h"
#include "ui/win32/WindowsTimerService.h"

namespace {

constexpr const char* kUsage =
    "usage: kavri-control [--help | --version]\n"
    "\n"
    "The desktop program of the filter wheel and focuser controller.\n"
    "\n"
    "  -h, --help   this text\n"
    "  --version    the version\n";

// Text for whoever started the program: its standard output when there is one (redirected,
// or under Wine), the console it was started from, or else a message box, since a program
// with windows has no console of its own.
void TellCaller(const std::string& text, bool error) {
    HANDLE out = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                          nullptr);
    }
    DWORD written = 0;
    DWORD mode = 0;
    if (out != nullptr && out != INVALID_HANDLE_VALUE) {
        if (GetConsoleMode(out, &mode)) {
            const std::wstring wide = kavri::Utf8ToWide(text);
            WriteConsoleW(out, wide.c_str(), static_cast<DWORD>(wide.size()), &written, nullptr);
        } else {
            WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        }
        return;
    }
    MessageBoxW(nullptr, kavri::Utf8ToWide(text).c_str(), L"kavri-control",
                MB_OK | (error ? MB_ICONWARNING : MB_ICONINFORMATION));
}

// -1 when the program is to run; otherwise the exit status after answering the options.
int AnswerOptions() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int status = -1;
    for (int i = 1; argv != nullptr && i < argc && status < 0; ++i) {
        if (std::wcscmp(argv[i], L"-h") == 0 || std::wcscmp(argv[i], L"--help") == 0) {
            TellCaller(kUsage, false);
            status = 0;
        } else if (std::wcscmp(argv[i], L"--version") == 0) {
            TellCaller(std::string("kavri-control ") + KAVRI_VERSION + "\n", false);
            status = 0;
        } else {
            TellCaller("kavri-control: unknown option " + kavri::WideToUtf8(argv[i]) + "\n\n" +
                           kUsage,
                       true);
            status = 2;
        }
    }
    LocalFree(argv);
    return status;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (const int status = AnswerOptions(); status >= 0) return status;
    try {
        const auto store = kavri::OpenDefaultSettingsStore();
        // The timers outlive the device, which stops its own timer when it is destroyed; the
        // dialog goes first, then the device, which disconnects and saves the settings.
        kavri::ui::win32::WindowsTimerService timers;
        auto device = std::make_unique<kavri::WheelFocuserDevice>(*store, timers);
        {
            // Settings that will be saved where the focuser driver may not look (the registry
            // refused the machine-wide key) are told once, as the dialog opens.
            kavri::ui::ControlDialog behaviour(*device, store->StorageWarning());
            kavri::ui::win32::DialogWindow dialog(kavri::ui::ControlDialogTemplate(), behaviour,
                                                  nullptr);
            dialog.RunModal();
        }
        device.reset();
    } catch (const std::exception& e) {
        TellCaller(std::string("kavri-control: ") + e.what() + "\n", true);
        return 1;
    }
    return 0;
}
