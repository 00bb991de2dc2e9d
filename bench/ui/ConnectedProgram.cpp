// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program exactly as kavri-control runs it (same settings store, same dialog,
// same timers), except that Connect is pressed as soon as the message loop runs. It lets a
// script measure the program while it sits connected and idle, with no display automation.
#include <QApplication>
#include <QTimer>

#include "persist/RegistryFileStore.h"
#include "ui/dialogs/ControlDialog.h"
#include "ui/qt/ControlApp.h"
#include "ui/qt/QtDialog.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kavri-control"));
    QApplication::setApplicationVersion(QStringLiteral(KAVRI_VERSION));
    kavri::RegistryFileStore store;
    kavri::ui::ControlApp program(store);
    program.SetDialogHook([](kavri::ui::QtDialog& window, kavri::ui::ControlDialog& dialog,
                             kavri::WheelFocuserDevice&) {
        // Queued, so it runs inside the dialog's own loop as a button click would.
        QTimer::singleShot(0, &window, [&dialog] { dialog.OnConnect(); });
    });
    program.InitInstance();
    return 0;
}
