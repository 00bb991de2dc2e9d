// SPDX-License-Identifier: GPL-3.0-or-later
// The behaviour of the focuser's microstep current table (template 231): generated from a
// sine, a tangent or a sine with a third harmonic, bent with an exponent ("Pow"), inverted, or
// typed as numbers; drawn as a level curve and as the path of the two coil currents. "Apply"
// sends the table to the controller and keeps the dialog open; "Exit" closes it without
// sending, leaving the edits in the device's copy.
#pragma once

#include "device/MicrostepCurves.h"
#include "ui/dialogs/DialogEvents.h"

namespace kavri {
class WheelFocuserDevice;
}

namespace kavri::ui {

class MicrostepTableDialog : public DialogEvents {
public:
    // Edits `device`'s table in place; the device is not owned and may be null.
    explicit MicrostepTableDialog(WheelFocuserDevice* device) : device(device) {}

    void OnInitDialog(DialogControls& controls) override;
    void OnCommand(int id) override;
    void OnTextChanged(int id) override;
    bool OnKey(const KeyPress& key) override;
    void OnPaint() override;

    // "Apply" and Enter: sends the table.
    void OnOK();

    // The figures as they would be drawn now, in client pixels.
    MicrostepFigures Figures() const;

private:
    void ShowTable();
    void Generate(MicrostepCurve curve);
    void ApplyShape();
    void ParseTable();
    void ToggleInverse();
    int Count() const;
    uint8_t* Table() const;

    WheelFocuserDevice* device;
    DialogControls* c_ = nullptr;
    MicrostepShape shape{};
    // True while the table was made from `shape`, so a new exponent bends it again; any
    // change of the table text clears it.
    bool shapeActive = false;
};

}  // namespace kavri::ui
