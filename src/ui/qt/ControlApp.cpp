// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/ControlApp.h"

#include <memory>

#include "device/SettingsStore.h"
#include "device/WheelFocuserDevice.h"
#include "ui/dialogs/ControlDialog.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/qt/QtDialog.h"
#include "ui/qt/QtTimerService.h"

namespace kavri::ui {

bool ControlApp::InitInstance() {
    // The timers outlive the device, which stops its own timer when it is destroyed.
    QtTimerService timers;
    auto device = std::make_unique<WheelFocuserDevice>(store_, timers);
    // Settings that will be saved where the focuser driver may not look (the registry refused
    // the machine-wide key) are told once, as the dialog opens.
    ControlDialog behaviour(*device, store_.StorageWarning());
    auto dialog = std::make_unique<QtDialog>(ControlDialogTemplate(), behaviour);
    if (hook_) hook_(*dialog, behaviour, *device);
    dialog->Run();
    dialog.reset();
    device.reset();
    return false;
}

}  // namespace kavri::ui
