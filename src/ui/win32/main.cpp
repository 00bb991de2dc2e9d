// SPDX-License-Identifier: GPL-3.0-or-later
// kavri-control.exe: the desktop program on Windows, with native dialogs built from the same
// templates as the Qt program's. The main dialog opens from its template; Exit, Escape and the
// close box end it. Its other controls have no behaviour in this program yet: the dialogs'
// behaviour, shared with the Qt program, is not part of it.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>

#include "transport/WideTextWin32.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/dialogs/DialogEvents.h"
#include "ui/win32/DialogWindow.h"

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

// The main dialog's frame: it ends on the cancel command, which Exit, Escape and the close box
// send.
class MainDialogFrame : public kavri::ui::DialogEvents {
public:
    void OnInitDialog(kavri::ui::DialogControls& controls) override { controls_ = &controls; }
    void OnCommand(int id) override {
        if (id == kavri::ui::kCancelCommand) controls_->EndDialog(id);
    }

private:
    kavri::ui::DialogControls* controls_ = nullptr;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (const int status = AnswerOptions(); status >= 0) return status;
    try {
        MainDialogFrame frame;
        kavri::ui::win32::DialogWindow dialog(kavri::ui::ControlDialogTemplate(), frame, nullptr);
        dialog.RunModal();
    } catch (const std::exception& e) {
        TellCaller(std::string("kavri-control: ") + e.what() + "\n", true);
        return 1;
    }
    return 0;
}
