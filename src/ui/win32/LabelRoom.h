// SPDX-License-Identifier: GPL-3.0-or-later
// The templates were laid out for a narrower face than the system's dialog face of today
// (Tahoma, Segoe UI), in which some labels would wrap into lines their control cannot show or
// be cut. Such a label (a static or a check box) grows into the free room beside it: to the
// right, or both ways for a centred text, up to the next control on its lines, the frame of a
// group box around it, or the dialog's margin. Texts that fit stay as the template places them.
#pragma once

#include <windows.h>

#include "ui/dialogs/DialogTemplate.h"

namespace kavri::ui::win32 {

// The width in pixels a label needs to show each of its lines whole with its font: the widest
// line, and for a check box the box and the gap before the text.
int LabelWidthNeeded(HWND control, ControlKind kind);

void FitLabels(HWND dialog, const DialogTemplate& tmpl);

}  // namespace kavri::ui::win32
