#include "ui/main/ControlApp.h"

#include <memory>

#include "device/WheelFocuserDevice.h"
#include "ui/common/QtTimerService.h"
#include "ui/main/ControlDialog.h"

namespace kavri::ui {

bool ControlApp::InitInstance() {
    // The timers outlive the device, which stops its own timer when it is destroyed.
    QtTimerService timers;
    auto device = std::make_unique<WheelFocuserDevice>(store_, timers);
    auto dialog = std::make_unique<ControlDialog>(device.get());
    if (hook_) hook_(*dialog, *device);
    dialog->exec();
    dialog.reset();
    device.reset();
    return false;
}

}  // namespace kavri::ui
