// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 front end on a real display: each of the four dialogs built from its template with
// every control as the template says, labels shown whole in the system's dialog face, the
// controls interface against the windows' own messages, the editor over a list cell, the keys
// the behaviour sees first, the timer, the message box and file choice, the curve, and
// screenshots of the four dialogs.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "transport/WideTextWin32.h"
#include "windows/ui/DialogRig.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/dialogs/SettingsTemplates.h"
#include "ui/win32/DialogResource.h"
#include "ui/win32/LabelRoom.h"
#include "ui/win32/WindowText.h"

namespace kavri::ui::win32::test {
namespace {

namespace Id = ControlIds;

struct Dialog {
    const char* name;
    const DialogTemplate& (*get)();
};
const Dialog kDialogs[] = {{"main", &ControlDialogTemplate},
                           {"wheel-settings", &WheelSettingsTemplate},
                           {"focuser-settings", &FocuserSettingsTemplate},
                           {"microstep-table", &MicrostepTableTemplate}};

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

LONG StyleOf(HWND window) {
    return GetWindowLongW(window, GWL_STYLE);
}

// The dialog manager maps a control's position and its size each on its own.
RECT DialogRect(HWND dialog, const ControlTemplate& c) {
    RECT r{c.x, c.y, c.width, c.height};
    MapDialogRect(dialog, &r);
    return {r.left, r.top, r.left + r.right, r.top + r.bottom};
}

RECT Bounds(HWND dialog, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// What each template style means on Windows: the kind it applies to and the window style bit.
struct StyleBit {
    ControlKind kind;
    uint32_t flag;
    LONG bit;
};
const StyleBit kStyleBits[] = {
    {ControlKind::PushButton, Style::DefaultButton, BS_DEFPUSHBUTTON},
    {ControlKind::CheckBox, Style::TextLeft, BS_LEFTTEXT},
    {ControlKind::Static, Style::Centered, SS_CENTER},
    {ControlKind::Edit, Style::ReadOnly, ES_READONLY},
    {ControlKind::Edit, Style::DigitsOnly, ES_NUMBER},
    {ControlKind::Edit, Style::Multiline, ES_MULTILINE},
    {ControlKind::Edit, Style::AutoHScroll, ES_AUTOHSCROLL},
    {ControlKind::UpDown, Style::AutoBuddy, UDS_AUTOBUDDY},
    {ControlKind::UpDown, Style::SetBuddyInt, UDS_SETBUDDYINT},
    {ControlKind::UpDown, Style::AlignRight, UDS_ALIGNRIGHT},
    {ControlKind::UpDown, Style::ArrowKeys, UDS_ARROWKEYS},
    {ControlKind::ListView, Style::SingleSelection, LVS_SINGLESEL},
    {ControlKind::ListView, Style::EditLabels, LVS_EDITLABELS},
    {ControlKind::ListView, Style::NoSortHeader, LVS_NOSORTHEADER},
};

const wchar_t* ClassOfKind(ControlKind kind) {
    switch (kind) {
        case ControlKind::Static: return L"Static";
        case ControlKind::Edit: return L"Edit";
        case ControlKind::ComboBox: return L"ComboBox";
        case ControlKind::UpDown: return L"msctls_updown32";
        case ControlKind::ListView: return L"SysListView32";
        default: return L"Button";
    }
}

// Each control has the class, text, style and place its template gives, the arrows their
// buddies and the combo boxes their items; the dialog its caption, size and a face that
// draws its Cyrillic texts.
TEST(Win32DialogsTest, EveryControlIsWhatItsTemplateSays) {
    for (const Dialog& d : kDialogs) {
        SCOPED_TRACE(d.name);
        const DialogTemplate& tmpl = d.get();
        Recorder events;
        DialogWindow dialog(tmpl, events, nullptr);
        const HWND hwnd = dialog.Handle();
        EXPECT_EQ(WindowText(hwnd), tmpl.caption);
        RECT client{}, size{0, 0, tmpl.width, tmpl.height};
        GetClientRect(hwnd, &client);
        MapDialogRect(hwnd, &size);
        EXPECT_EQ(client.right, size.right);
        EXPECT_EQ(client.bottom, size.bottom);
        EXPECT_EQ((StyleOf(hwnd) & WS_MINIMIZEBOX) != 0,
                  (tmpl.style & DialogStyle::MinimizeBox) != 0);
        const std::vector<HWND> windows = TemplateControls(hwnd);
        ASSERT_EQ(windows.size(), tmpl.controls.size());
        for (size_t i = 0; i < windows.size(); ++i) {
            const ControlTemplate& c = tmpl.controls[i];
            const HWND w = windows[i];
            SCOPED_TRACE(c.id);
            if (c.id != kNoControlId) {
                EXPECT_EQ(GetDlgItem(hwnd, c.id), w);
            }
            EXPECT_EQ(ClassName(w), ClassOfKind(c.kind));
            if (c.kind != ControlKind::ComboBox && c.kind != ControlKind::UpDown) {
                EXPECT_EQ(WindowText(w), c.text);
            }
            for (const StyleBit& s : kStyleBits) {
                if (s.kind == c.kind) {
                    EXPECT_EQ((StyleOf(w) & s.bit) == s.bit, (c.style & s.flag) != 0) << s.bit;
                }
            }
            EXPECT_EQ(IsWindowEnabled(w) == FALSE, (c.style & Style::Disabled) != 0);
            const RECT want = DialogRect(hwnd, c);
            const RECT got = Bounds(hwnd, w);
            if (c.kind == ControlKind::ComboBox) {
                EXPECT_EQ(SendMessageW(w, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(c.items.size()));
                for (size_t k = 0; k < c.items.size(); ++k) {
                    wchar_t item[64] = {};
                    SendMessageW(w, CB_GETLBTEXT, k, reinterpret_cast<LPARAM>(item));
                    EXPECT_EQ(WideToUtf8(item), c.items[k]);
                }
            } else if (c.kind == ControlKind::UpDown && (c.style & Style::AutoBuddy) != 0) {
                // Placed at the right end of the control before it, its buddy, on whose border
                // it may lie.
                const HWND buddy = reinterpret_cast<HWND>(SendMessageW(w, UDM_GETBUDDY, 0, 0));
                EXPECT_EQ(buddy, windows[i - 1]);
                EXPECT_LE(std::abs(got.left - Bounds(hwnd, buddy).right), 2);
            } else if (c.kind == ControlKind::Static || c.kind == ControlKind::CheckBox) {
                // Labels may move and grow along their line (LabelsShowTheirWholeText).
                EXPECT_EQ(got.top, want.top);
                EXPECT_EQ(got.bottom, want.bottom);
            } else if (!(i + 1 < windows.size() && tmpl.controls[i + 1].kind == ControlKind::UpDown &&
                         (tmpl.controls[i + 1].style & Style::AlignRight) != 0)) {
                EXPECT_EQ(got.left, want.left);
                EXPECT_EQ(got.right, want.right);
                EXPECT_EQ(got.bottom - got.top, want.bottom - want.top);
            }
            if (c.kind == ControlKind::ListView) {
                EXPECT_EQ(StyleOf(w) & LVS_TYPEMASK, LVS_REPORT);
                EXPECT_TRUE(SendMessageW(w, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
            }
        }
        // The face the dialog font is drawn with has a glyph for every Cyrillic text.
        const HDC dc = GetDC(hwnd);
        const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
        for (const ControlTemplate& c : tmpl.controls) {
            const std::wstring text = Utf8ToWide(c.text);
            std::vector<WORD> glyphs(text.size());
            GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                             GGI_MARK_NONEXISTING_GLYPHS);
            for (size_t k = 0; k < text.size(); ++k) {
                if (text[k] != L'\n') {
                    EXPECT_NE(glyphs[k], 0xFFFF) << c.text;
                }
            }
        }
        SelectObject(dc, old);
        ReleaseDC(hwnd, dc);
    }
}

// Under the system's dialog face no label is cut: each line of a static fits its width as
// the control draws it (word-wrapped), all its lines its height; a check box's text fits
// beside its box, a button's caption between its edges. No label runs into another control.
TEST(Win32DialogsTest, LabelsShowTheirWholeText) {
    for (const Dialog& d : kDialogs) {
        SCOPED_TRACE(d.name);
        Recorder events;
        DialogWindow dialog(d.get(), events, nullptr);
        const std::vector<HWND> windows = TemplateControls(dialog.Handle());
        for (size_t i = 0; i < windows.size(); ++i) {
            const ControlTemplate& c = d.get().controls[i];
            if (c.text.empty() || c.kind == ControlKind::Edit) continue;
            SCOPED_TRACE(c.text);
            RECT room{};
            GetClientRect(windows[i], &room);
            const HDC dc = GetDC(windows[i]);
            const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(windows[i], WM_GETFONT, 0, 0)));
            const std::wstring text = Utf8ToWide(c.text);
            TEXTMETRICW metrics{};
            GetTextMetricsW(dc, &metrics);
            RECT need = room;
            DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            const int lines = 1 + static_cast<int>(std::count(text.begin(), text.end(), L'\n'));
            SIZE extent{};
            GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
            SelectObject(dc, old);
            ReleaseDC(windows[i], dc);
            if (c.kind == ControlKind::Static || c.kind == ControlKind::CheckBox) {
                const RECT mine = Bounds(dialog.Handle(), windows[i]);
                for (size_t j = 0; j < windows.size(); ++j) {
                    RECT both{};
                    const RECT other = Bounds(dialog.Handle(), windows[j]);
                    if (j != i && d.get().controls[j].kind != ControlKind::GroupBox) {
                        EXPECT_FALSE(IntersectRect(&both, &mine, &other)) << d.get().controls[j].text;
                    }
                }
            }
            if (c.kind == ControlKind::Static) {
                EXPECT_EQ(need.bottom - need.top, lines * metrics.tmHeight) << "wrapped";
                EXPECT_LE(need.bottom - need.top, room.bottom);
            } else if (c.kind == ControlKind::CheckBox) {
                EXPECT_LE(extent.cx + GetSystemMetrics(SM_CXMENUCHECK), room.right);
            } else if (c.kind == ControlKind::PushButton) {
                EXPECT_LE(extent.cx + 4 * GetSystemMetrics(SM_CXEDGE), room.right);
            } else if (c.kind == ControlKind::GroupBox) {
                EXPECT_LE(extent.cx + 2 * metrics.tmAveCharWidth, room.right);
            }
        }
    }
}

}  // namespace
}  // namespace kavri::ui::win32::test
