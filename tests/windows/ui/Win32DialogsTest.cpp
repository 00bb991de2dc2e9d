// SPDX-License-Identifier: GPL-3.0-or-later
// The four dialogs as the Win32 front end builds them from their templates: every control as
// its template says, and every text whole in the system's dialog face, Cyrillic included.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "platform/WideTextWin32.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/dialogs/SettingsTemplates.h"
#include "ui/win32/DialogResource.h"
#include "ui/win32/WindowText.h"
#include "windows/ui/DialogRig.h"

namespace kavri::ui::win32::test {
namespace {

RECT Bounds(HWND dialog, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool Has(HWND window, LONG bits) {
    return (GetWindowLongW(window, GWL_STYLE) & bits) == bits;
}

// What a template style means on Windows: the kind it applies to and the window style bits.
const struct {
    ControlKind kind;
    uint32_t flag;
    LONG bits;
} kStyleBits[] = {
    {ControlKind::PushButton, Style::DefaultButton, BS_DEFPUSHBUTTON},
    {ControlKind::CheckBox, Style::TextLeft, BS_LEFTTEXT},
    {ControlKind::Static, Style::Centered, SS_CENTER},
    {ControlKind::Edit, Style::ReadOnly, ES_READONLY},
    {ControlKind::Edit, Style::DigitsOnly, ES_NUMBER},
    {ControlKind::Edit, Style::Multiline, ES_MULTILINE},
    {ControlKind::UpDown, Style::SetBuddyInt, UDS_SETBUDDYINT},
    {ControlKind::UpDown, Style::ArrowKeys, UDS_ARROWKEYS},
    {ControlKind::ListView, Style::SingleSelection, LVS_SINGLESEL},
    {ControlKind::ListView, Style::EditLabels, LVS_EDITLABELS},
    {ControlKind::ListView, Style::NoSortHeader, LVS_NOSORTHEADER | LVS_REPORT},
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

// Class, text, styles, place, items and buddy as the template says. Labels may have moved
// along their line to show their text (ControlShowsItsText); a buddy gives up the width its
// arrows take.
void ExpectAsTemplate(HWND dialog, const DialogTemplate& tmpl, const std::vector<HWND>& windows, size_t i) {
    const ControlTemplate& c = tmpl.controls[i];
    const HWND w = windows[i];
    wchar_t name[64] = {};
    GetClassNameW(w, name, 64);
    EXPECT_STREQ(name, ClassOfKind(c.kind));
    if (c.id != kNoControlId) {
        EXPECT_EQ(GetDlgItem(dialog, c.id), w);
    }
    if (c.kind != ControlKind::ComboBox && c.kind != ControlKind::UpDown) {
        EXPECT_EQ(WindowText(w), c.text);
    }
    for (const auto& s : kStyleBits) {
        if (s.kind == c.kind) {
            EXPECT_EQ(Has(w, s.bits), (c.style & s.flag) != 0) << s.bits;
        }
    }
    EXPECT_EQ(IsWindowEnabled(w) == FALSE, (c.style & Style::Disabled) != 0);
    RECT want{c.x, c.y, c.width, c.height};  // position and size are mapped each on its own
    MapDialogRect(dialog, &want);
    want.right += want.left;
    want.bottom += want.top;
    const RECT got = Bounds(dialog, w);
    const bool attached = c.kind == ControlKind::UpDown && (c.style & Style::AutoBuddy) != 0;
    if (!attached) {
        EXPECT_EQ(got.top, want.top);
    }
    const bool buddy = i + 1 < windows.size() && tmpl.controls[i + 1].kind == ControlKind::UpDown;
    if (c.kind == ControlKind::ComboBox) {
        EXPECT_EQ(SendMessageW(w, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(c.items.size()));
        for (size_t k = 0; k < c.items.size(); ++k) {
            wchar_t item[64] = {};
            SendMessageW(w, CB_GETLBTEXT, k, reinterpret_cast<LPARAM>(item));
            EXPECT_EQ(WideToUtf8(item), c.items[k]);
        }
    } else if (attached) {
        // At the right end of its buddy, on whose border it may lie.
        EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(w, UDM_GETBUDDY, 0, 0)), windows[i - 1]);
        EXPECT_LE(std::abs(got.left - Bounds(dialog, windows[i - 1]).right), 2);
    } else if (c.kind != ControlKind::Static && c.kind != ControlKind::CheckBox && !buddy) {
        EXPECT_EQ(got.left, want.left);
        EXPECT_EQ(got.right, want.right);
        EXPECT_EQ(got.bottom, want.bottom);
    }
}

// The text is drawn whole, with a glyph for every character: a static's lines each on one
// line within its height, a check box's text beside its box, a caption between a button's or
// a frame's edges; and a label runs into no other control.
void ExpectWholeText(HWND dialog, const DialogTemplate& tmpl, const std::vector<HWND>& windows, size_t i) {
    const ControlTemplate& c = tmpl.controls[i];
    const std::wstring text = Utf8ToWide(c.text);
    if (text.empty() || c.kind == ControlKind::Edit) return;
    RECT room{};
    GetClientRect(windows[i], &room);
    const HDC dc = GetDC(windows[i]);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(windows[i], WM_GETFONT, 0, 0)));
    std::vector<WORD> glyphs(text.size());
    GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] != L'\n') {
            EXPECT_NE(glyphs[k], 0xFFFF) << k;
        }
    }
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    RECT need = room;
    DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(windows[i], dc);
    const int lines = 1 + static_cast<int>(std::count(text.begin(), text.end(), L'\n'));
    switch (c.kind) {
        case ControlKind::Static:
            EXPECT_EQ(need.bottom - need.top, lines * metrics.tmHeight) << "wrapped";
            EXPECT_LE(need.bottom - need.top, room.bottom);
            break;
        case ControlKind::CheckBox: EXPECT_LE(extent.cx + GetSystemMetrics(SM_CXMENUCHECK), room.right); break;
        case ControlKind::PushButton: EXPECT_LE(extent.cx + 4 * GetSystemMetrics(SM_CXEDGE), room.right); break;
        case ControlKind::GroupBox: EXPECT_LE(extent.cx + 2 * metrics.tmAveCharWidth, room.right); break;
        default: break;
    }
    if (c.kind != ControlKind::Static && c.kind != ControlKind::CheckBox) return;
    const RECT mine = Bounds(dialog, windows[i]);
    for (size_t j = 0; j < windows.size(); ++j) {
        RECT both{};
        const RECT other = Bounds(dialog, windows[j]);
        if (j != i && tmpl.controls[j].kind != ControlKind::GroupBox) {
            EXPECT_FALSE(IntersectRect(&both, &mine, &other)) << tmpl.controls[j].text;
        }
    }
}

TEST(Win32DialogsTest, EveryControlAsItsTemplateSaysWithItsWholeText) {
    for (const DialogTemplate* tmpl : {&ControlDialogTemplate(), &WheelSettingsTemplate(),
                                       &FocuserSettingsTemplate(), &MicrostepTableTemplate()}) {
        SCOPED_TRACE(tmpl->caption);
        Recorder events;
        DialogWindow dialog(*tmpl, events, nullptr);
        const HWND hwnd = dialog.Handle();
        EXPECT_EQ(WindowText(hwnd), tmpl->caption);
        RECT client{}, size{0, 0, tmpl->width, tmpl->height};
        GetClientRect(hwnd, &client);
        MapDialogRect(hwnd, &size);
        EXPECT_EQ(client.right, size.right);
        EXPECT_EQ(client.bottom, size.bottom);
        EXPECT_EQ(Has(hwnd, WS_MINIMIZEBOX), (tmpl->style & DialogStyle::MinimizeBox) != 0);
        const std::vector<HWND> windows = TemplateControls(hwnd);
        ASSERT_EQ(windows.size(), tmpl->controls.size());
        for (size_t i = 0; i < windows.size(); ++i) {
            SCOPED_TRACE(tmpl->controls[i].text + " " + std::to_string(tmpl->controls[i].id));
            ExpectAsTemplate(hwnd, *tmpl, windows, i);
            ExpectWholeText(hwnd, *tmpl, windows, i);
        }
    }
}

}  // namespace
}  // namespace kavri::ui::win32::test
