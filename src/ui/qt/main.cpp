// SPDX-License-Identifier: GPL-3.0-or-later
// kavri-control: the desktop program. Settings come from the platform's settings store (the
// settings file in the user's configuration directory on Linux, the registry on Windows) and
// go back there at exit.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "persist/DefaultSettingsStore.h"
#include "ui/qt/ControlApp.h"

namespace {

constexpr const char* kUsage =
    "usage: kavri-control [Qt options]\n"
    "\n"
    "The desktop program of the filter wheel and focuser controller: choose the port, connect,\n"
    "turn the wheel, move the focuser and edit the controller's settings in its windows.\n"
    "Qt's own options (-platform, -style, -display, ...) are taken as Qt documents them.\n"
    "\n"
    "  -h, --help   this text\n"
    "  --version    the version\n";

// --help and --version are answered before the application starts: they need no display and
// open no settings. Returns the exit status, or -1 when the program is to run.
int AnswerInformationOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kavri-control %s\n", KAVRI_VERSION);
            return 0;
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = AnswerInformationOptions(argc, argv); status >= 0) return status;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kavri-control"));
    QApplication::setApplicationVersion(QStringLiteral(KAVRI_VERSION));
    // The name of the installed desktop entry: through it Wayland compositors (and X11 task
    // bars) find the program's icon and name.
    QGuiApplication::setDesktopFileName(QStringLiteral(KAVRI_APP_ID));
    const auto store = kavri::OpenDefaultSettingsStore();
    kavri::ui::ControlApp program(*store);
    program.InitInstance();
    return 0;
}
