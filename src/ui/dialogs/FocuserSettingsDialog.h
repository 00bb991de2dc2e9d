// SPDX-License-Identifier: GPL-3.0-or-later
// The behaviour of the focuser settings (template 201): speed, power at rest, backlash, step
// size, thermometer count, temperature compensation, averaging and direction-change threshold
// (all in the controller's configuration image), and the step length, range and position
// offset kept for the focuser driver. OK writes the image's fields to the controller with the
// one configuration write, which reads them back; a value the controller cannot hold is
// refused with its range, and nothing is taken over or sent. The "Микрошаги" button opens the
// microstep table.
#pragma once

#include <cstdint>

#include "device/ConfigMappings.h"
#include "ui/dialogs/DialogEvents.h"

namespace kavri {
class WheelFocuserDevice;
}

namespace kavri::ui {

class FocuserSettingsDialog : public DialogEvents {
public:
    // `device` is not owned and may be null (then nothing is loaded or stored).
    explicit FocuserSettingsDialog(WheelFocuserDevice* device) : device(device) {}

    void OnInitDialog(DialogControls& controls) override;
    void OnCommand(int id) override;

    // The accept path, run by OK and Enter.
    void OnOK();
    // Reads the controller's microstep table again and opens the table dialog on it.
    void OnMicrosteps();

private:
    void FieldsFromConfig();
    void ShowFields();
    // Reads every edit; false when one does not read or holds a value the controller cannot
    // (its message shown, nothing taken over).
    bool ReadFields();
    void FillStepList();
    bool PortOpen() const;

    FocuserSettingsValues values;  // the image's fields as shown
    ConfigValues fields;           // what they store, once read
    // Results of "FWubStep": the largest step divisor gives the step list; the step in
    // effect is not used further. With the port closed there is no answer, and 0 leaves
    // the step list empty.
    int32_t largestDivisor = 0;
    int32_t currentStep = 0;
    WheelFocuserDevice* device;
    DialogControls* c_ = nullptr;
};

}  // namespace kavri::ui
