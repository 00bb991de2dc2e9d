// kavri-control: the desktop program. Settings come from the registry file in the user's
// configuration directory and go back there at exit.
#include <QApplication>

#include "persist/RegistryFileStore.h"
#include "ui/main/ControlApp.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kavri-control"));
    QApplication::setApplicationVersion(QStringLiteral(KAVRI_VERSION));
    kavri::RegistryFileStore store;
    kavri::ui::ControlApp program(store);
    program.InitInstance();
    return 0;
}
