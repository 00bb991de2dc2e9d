// The wheel settings: number of filters, motor speed, half or full step, motor off when idle,
// home-mark sensing, power output mode and the largest step count between filters. OK writes
// them to the controller with the one configuration write (which reads the image back and
// resizes the filter table to the new count), saves the device's settings and releases this
// dialog's hold on the connection; a value the controller cannot hold is refused with its
// range, and nothing is sent. Cancel stores nothing.
#pragma once

#include <QDialog>
#include <cstdint>

#include "device/ConfigMappings.h"

namespace kavri {
class WheelFocuserDevice;
}

namespace kavri::ui {

class UpDownControl;

class WheelSettingsDialog : public QDialog {
    Q_OBJECT
public:
    // `device` is not owned and may be null (then nothing is loaded or stored).
    WheelSettingsDialog(WheelFocuserDevice* device, QWidget* parent = nullptr);

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

    UpDownControl* filterCountSpin = nullptr;
    UpDownControl* speedSpin = nullptr;
    WheelSettingsValues values;  // the fields as shown
    WheelFocuserDevice* device;
};

}  // namespace kavri::ui
