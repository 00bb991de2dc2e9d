// SPDX-License-Identifier: GPL-3.0-or-later
// Template 202: the main dialog, and the ids of its controls.
#pragma once

#include "ui/dialogs/DialogTemplate.h"

namespace kavri::ui {

namespace ControlIds {
enum : int {
    Exit = 2,
    PositionDisplay = 3001,  // read-only; the keyboard target for the filter keys
    FocuserSpin = 3002,
    TargetPosition = 3003,  // value for "Go!" and "Set"
    Go = 3004,
    PortCombo = 3006,
    FilterList = 3018,
    WheelSettings = 3024,
    FocuserSettings = 3025,
    MinStep = 3026,
    MinStepSpin = 3027,
    Temperature0 = 3028,  // ... 3031
    AutoBox0 = 3032,      // ... 3035
    Save = 3036,
    Load = 3037,
    Set = 3042,
    Connect = 3043,
    Disconnect = 3044,
    Direction = 3050,
    ThermometerName0 = 3051,  // ... 3054
    CellEditor = 4567,        // created over a list cell while it is edited
    CellSpin = 4568,
};
}  // namespace ControlIds

const DialogTemplate& ControlDialogTemplate();

}  // namespace kavri::ui
