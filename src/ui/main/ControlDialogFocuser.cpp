// The focuser panel of the main dialog: moves by the arrows beside the position box.
#include <QLineEdit>

#include "device/WheelFocuserDevice.h"
#include "ui/main/ControlDialog.h"

namespace kavri::ui {

// The arrows' range runs backwards, so the up arrow reports −1 and raises the focuser.
void ControlDialog::OnFocuserSpin(int delta) {
    const int64_t target =
        static_cast<int64_t>(device_->focuserPosition) - int64_t{device_->MinMotorStep} * delta;
    device_->MoveTo(static_cast<int32_t>(target));
    positionBox_->setText(QString::number(device_->focuserPosition));
}

}  // namespace kavri::ui
