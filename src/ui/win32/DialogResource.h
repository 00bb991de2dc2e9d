// SPDX-License-Identifier: GPL-3.0-or-later
// A dialog template of the Win32 dialog manager (DLGTEMPLATEEX with its items), built in memory
// from the toolkit-free template data, so the Win32 front end creates its dialogs from the same
// tables as the Qt one. The window classes are the standard controls; the font is
// "MS Shell Dlg" (DS_SHELLFONT), which Windows maps to the system's dialog face, one that has
// Cyrillic, at the template's point size.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/dialogs/DialogTemplate.h"

namespace kavri::ui::win32 {

// The window class, style and extended style a template control is created with.
struct ControlClass {
    std::wstring className;
    DWORD style = 0;
    DWORD exStyle = 0;
};

ControlClass ClassOf(const ControlTemplate& control);

// The dialog window's own style and extended style.
DWORD DialogStyleOf(const DialogTemplate& tmpl);

// The windows the dialog manager made of a template's controls, in template order, which is
// the order of the dialog's children.
std::vector<HWND> TemplateControls(HWND dialog);

// The bytes of the DLGTEMPLATEEX, DWORD-aligned, for CreateDialogIndirectParamW and
// DialogBoxIndirectParamW. Combo-box items are not part of it: the dialog adds them once its
// controls exist.
class DialogResource {
public:
    explicit DialogResource(const DialogTemplate& tmpl);

    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Word(uint16_t value) { words_.push_back(value); }
    void Dword(uint32_t value);
    void Text(const std::string& utf8);
    void AlignToDword();

    std::vector<uint16_t> words_;  // the storage is aligned for DWORDs at even indices
};

}  // namespace kavri::ui::win32
