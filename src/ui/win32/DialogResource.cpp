// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/DialogResource.h"

#include <commctrl.h>

#include "platform/WideTextWin32.h"

namespace kavri::ui::win32 {

namespace {

bool Has(uint32_t style, uint32_t flag) {
    return (style & flag) != 0;
}

DWORD ButtonStyle(const ControlTemplate& c) {
    if (c.kind == ControlKind::GroupBox) return BS_GROUPBOX;
    if (c.kind == ControlKind::PushButton)
        return WS_TABSTOP | (Has(c.style, Style::DefaultButton) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    // Check boxes. A manual box only reports the click; the program sets every state.
    DWORD style = WS_TABSTOP;
    if (Has(c.style, Style::ThreeState)) {
        style |= Has(c.style, Style::AutoCheck) ? BS_AUTO3STATE : BS_3STATE;
    } else {
        style |= Has(c.style, Style::AutoCheck) ? BS_AUTOCHECKBOX : BS_CHECKBOX;
    }
    if (Has(c.style, Style::TextLeft)) style |= BS_LEFTTEXT;
    return style;
}

DWORD EditStyle(const ControlTemplate& c) {
    DWORD style = WS_TABSTOP | ES_LEFT;
    if (Has(c.style, Style::ReadOnly)) style |= ES_READONLY;
    if (Has(c.style, Style::DigitsOnly)) style |= ES_NUMBER;
    if (Has(c.style, Style::Multiline)) style |= ES_MULTILINE;
    if (Has(c.style, Style::AutoHScroll)) style |= ES_AUTOHSCROLL;
    return style;
}

// The buddy's number is always written without digit grouping: "1,000" in an edit would not
// read back as a number.
DWORD UpDownStyle(const ControlTemplate& c) {
    DWORD style = UDS_NOTHOUSANDS;
    if (Has(c.style, Style::AutoBuddy)) style |= UDS_AUTOBUDDY;
    if (Has(c.style, Style::SetBuddyInt)) style |= UDS_SETBUDDYINT;
    if (Has(c.style, Style::AlignRight)) style |= UDS_ALIGNRIGHT;
    if (Has(c.style, Style::ArrowKeys)) style |= UDS_ARROWKEYS;
    return style;
}

DWORD ListStyle(const ControlTemplate& c) {
    DWORD style = WS_TABSTOP | LVS_REPORT | LVS_NOLABELWRAP;
    if (Has(c.style, Style::SingleSelection)) style |= LVS_SINGLESEL;
    if (Has(c.style, Style::EditLabels)) style |= LVS_EDITLABELS;
    if (Has(c.style, Style::NoSortHeader)) style |= LVS_NOSORTHEADER;
    return style;
}

}  // namespace

ControlClass ClassOf(const ControlTemplate& c) {
    ControlClass result;
    switch (c.kind) {
        case ControlKind::PushButton:
        case ControlKind::CheckBox:
        case ControlKind::GroupBox:
            result = {WC_BUTTONW, ButtonStyle(c), 0};
            break;
        case ControlKind::Static:
            // Texts are shown as they are: an '&' is no mnemonic.
            result = {WC_STATICW,
                      DWORD{SS_NOPREFIX} | (Has(c.style, Style::Centered) ? SS_CENTER : SS_LEFT),
                      0};
            break;
        case ControlKind::Edit:
            result = {WC_EDITW, EditStyle(c),
                      Has(c.style, Style::NoBorder) ? 0u : DWORD{WS_EX_CLIENTEDGE}};
            break;
        case ControlKind::ComboBox:
            result = {WC_COMBOBOXW,
                      WS_TABSTOP | CBS_DROPDOWNLIST | (Has(c.style, Style::VScroll) ? WS_VSCROLL : 0u),
                      0};
            break;
        case ControlKind::UpDown:
            result = {UPDOWN_CLASSW, UpDownStyle(c), 0};
            break;
        case ControlKind::ListView:
            result = {WC_LISTVIEWW, ListStyle(c), 0};
            break;
    }
    if (Has(c.style, Style::Border)) {
        if (c.kind == ControlKind::ListView) {
            result.exStyle |= WS_EX_CLIENTEDGE;
        } else {
            result.style |= WS_BORDER;
        }
    }
    result.style |= WS_CHILD | WS_VISIBLE;
    if (Has(c.style, Style::Disabled)) result.style |= WS_DISABLED;
    return result;
}

DWORD DialogStyleOf(const DialogTemplate& tmpl) {
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SHELLFONT | DS_CENTER;
    if (Has(tmpl.style, DialogStyle::MinimizeBox)) style |= WS_MINIMIZEBOX;
    return style;
}

std::vector<HWND> TemplateControls(HWND dialog) {
    std::vector<HWND> windows;
    for (HWND w = GetWindow(dialog, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
        windows.push_back(w);
    return windows;
}

void DialogResource::Dword(uint32_t value) {
    Word(static_cast<uint16_t>(value & 0xFFFF));
    Word(static_cast<uint16_t>(value >> 16));
}

void DialogResource::Text(const std::string& utf8) {
    for (wchar_t c : Utf8ToWide(utf8)) Word(static_cast<uint16_t>(c));
    Word(0);
}

void DialogResource::AlignToDword() {
    if (words_.size() % 2 != 0) Word(0);
}

// Layout of DLGTEMPLATEEX and DLGITEMTEMPLATEEX: fixed fields, then variable-length strings
// of UTF-16 (a menu, class or title given as the single word 0 is none); each item starts on
// a DWORD boundary.
DialogResource::DialogResource(const DialogTemplate& tmpl) {
    Word(1);       // dlgVer
    Word(0xFFFF);  // signature: the extended template
    Dword(0);      // helpID
    Dword(0);      // exStyle
    Dword(DialogStyleOf(tmpl));
    Word(static_cast<uint16_t>(tmpl.controls.size()));
    Word(0);  // x, y: DS_CENTER places the dialog
    Word(0);
    Word(static_cast<uint16_t>(tmpl.width));
    Word(static_cast<uint16_t>(tmpl.height));
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text(tmpl.caption);
    Word(static_cast<uint16_t>(tmpl.pointSize > 0 ? tmpl.pointSize : 8));
    Word(FW_NORMAL);
    Word(DEFAULT_CHARSET << 8);  // italic 0, then the charset byte
    Text("MS Shell Dlg");
    for (const ControlTemplate& c : tmpl.controls) {
        AlignToDword();
        const ControlClass cls = ClassOf(c);
        Dword(0);  // helpID
        Dword(cls.exStyle);
        Dword(cls.style);
        Word(static_cast<uint16_t>(c.x));
        Word(static_cast<uint16_t>(c.y));
        Word(static_cast<uint16_t>(c.width));
        Word(static_cast<uint16_t>(c.height));
        Dword(static_cast<uint32_t>(c.id));
        for (wchar_t ch : cls.className) Word(static_cast<uint16_t>(ch));
        Word(0);
        Text(c.text);
        Word(0);  // no creation data
    }
}

}  // namespace kavri::ui::win32
