#include "ui/main/ControlApp.h"

#include <memory>

#include "device/SettingsStore.h"
#include "device/WheelFocuserDevice.h"
#include "ui/common/QtTimerService.h"
#include "ui/main/ControlDialog.h"
#include "ui/settings/UserPrompts.h"

namespace kavri::ui {

bool ControlApp::InitInstance() {
    // The timers outlive the device, which stops its own timer when it is destroyed.
    QtTimerService timers;
    auto device = std::make_unique<WheelFocuserDevice>(store_, timers);
    auto dialog = std::make_unique<ControlDialog>(device.get());
    // Settings that will be saved where the focuser driver may not look (the registry refused
    // the machine-wide key) are told once, at start, before anything is changed.
    if (const std::string warning = store_.StorageWarning(); !warning.empty()) {
        ShowMessage({dialog.get(), QString::fromStdString(warning), QStringLiteral("Settings"),
                     MessageIcon::Warning});
    }
    if (hook_) hook_(*dialog, *device);
    dialog->exec();
    dialog.reset();
    device.reset();
    return false;
}

}  // namespace kavri::ui
