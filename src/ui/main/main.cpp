// kavri-control: the desktop program. Settings come from the platform's settings store (the
// settings file in the user's configuration directory on Linux, the registry on Windows) and
// go back there at exit.
#include <QApplication>

#include "persist/DefaultSettingsStore.h"
#include "ui/main/ControlApp.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kavri-control"));
    QApplication::setApplicationVersion(QStringLiteral(KAVRI_VERSION));
    const auto store = kavri::OpenDefaultSettingsStore();
    kavri::ui::ControlApp program(*store);
    program.InitInstance();
    return 0;
}
