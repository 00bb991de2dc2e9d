// SPDX-License-Identifier: GPL-3.0-or-later
// The templates were laid out for a narrower face than the system's dialog face of today
// (Tahoma, Segoe UI), in which some labels would wrap into lines their control cannot show or
// be cut, and a few labels run under the next control. Such a label (a static or a check box)
// takes the free room beside it: it grows to the right, or both ways for a centred text, and
// moves left when that is not enough, between the controls on its lines, the frame of a group
// box around it and the dialog's margin. Texts that fit stay as the template places them.
#pragma once

#include <windows.h>

#include "ui/dialogs/DialogTemplate.h"

namespace kavri::ui::win32 {

// The width in pixels a label needs to show each of its lines whole with its font: the widest
// line, and for a check box the box and the gap before the text.
int LabelWidthNeeded(HWND control, ControlKind kind);

void FitLabels(HWND dialog, const DialogTemplate& tmpl);

}  // namespace kavri::ui::win32
