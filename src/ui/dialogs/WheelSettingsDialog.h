// SPDX-License-Identifier: GPL-3.0-or-later
// The behaviour of the wheel settings (template 203): number of filters, motor speed, half or
// full step, motor off when idle, home-mark sensing, power output mode and the largest step
// count between filters. OK writes them to the controller with the one configuration write
// (which reads the image back and resizes the filter table to the new count), saves the
// device's settings and releases this dialog's hold on the connection; a value the controller
// cannot hold is refused with its range, and nothing is sent. Cancel stores nothing.
#pragma once

#include "device/ConfigMappings.h"
#include "ui/dialogs/DialogEvents.h"

namespace kavri {
class WheelFocuserDevice;
}

namespace kavri::ui {

class WheelSettingsDialog : public DialogEvents {
public:
    // `device` is not owned and may be null (then nothing is loaded or stored).
    explicit WheelSettingsDialog(WheelFocuserDevice* device) : device(device) {}

    void OnInitDialog(DialogControls& controls) override;
    void OnCommand(int id) override;

    // The accept path, run by OK and Enter.
    void OnOK();

private:
    void FieldsFromConfig();
    // The configuration write of the fields; false when a field was refused (nothing sent).
    bool WriteFields();
    void ShowFields();
    bool ReadFields();
    void EnableControls();
    bool PortOpen() const;

    WheelSettingsValues values;  // the fields as shown
    WheelFocuserDevice* device;
    DialogControls* c_ = nullptr;
};

}  // namespace kavri::ui
