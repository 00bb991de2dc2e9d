// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/LabelRoom.h"

#include <algorithm>
#include <string>
#include <vector>

#include "ui/win32/DialogResource.h"

namespace kavri::ui::win32 {

namespace {

RECT Bounds(HWND dialog, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool Overlap(LONG a0, LONG a1, LONG b0, LONG b1) {
    return a0 < b1 && b0 < a1;
}

// Dialog units to pixels across.
int Across(HWND dialog, int units) {
    RECT r{0, 0, units, 0};
    MapDialogRect(dialog, &r);
    return r.right;
}

}  // namespace

int LabelWidthNeeded(HWND control, ControlKind kind) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    if (text.empty()) return 0;
    const HDC dc = GetDC(control);
    const HGDIOBJ font = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    int widest = 0;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        RECT line{};
        DrawTextW(dc, text.data() + start, static_cast<int>(end - start), &line,
                  DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        widest = std::max<int>(widest, line.right - line.left);
        start = end + 1;
    }
    SelectObject(dc, font);
    ReleaseDC(control, dc);
    if (kind == ControlKind::CheckBox)
        widest += GetSystemMetrics(SM_CXMENUCHECK) + 2 * GetSystemMetrics(SM_CXEDGE);
    return widest;
}

void FitLabels(HWND dialog, const DialogTemplate& tmpl) {
    const std::vector<HWND> windows = TemplateControls(dialog);
    if (windows.size() != tmpl.controls.size()) return;
    RECT client{};
    GetClientRect(dialog, &client);
    const int margin = Across(dialog, 4);
    const int gap = 1;  // pixels: a label may come as close as this to its neighbours
    for (size_t i = 0; i < windows.size(); ++i) {
        const ControlTemplate& c = tmpl.controls[i];
        if (c.kind != ControlKind::Static && c.kind != ControlKind::CheckBox) continue;
        const RECT r = Bounds(dialog, windows[i]);
        const int need = LabelWidthNeeded(windows[i], c.kind);
        // The free room on the label's lines. A control that starts inside the label (some
        // templates let a label run under the next button) bounds it like one to its right.
        LONG left = client.left + margin;
        LONG right = client.right - margin;
        for (size_t j = 0; j < windows.size(); ++j) {
            const RECT o = Bounds(dialog, windows[j]);
            if (j == i || !Overlap(o.top, o.bottom, r.top, r.bottom)) continue;
            const bool around = tmpl.controls[j].kind == ControlKind::GroupBox &&
                                o.left <= r.left && o.right >= r.right;
            if (around) {
                left = std::max<LONG>(left, o.left + gap);
                right = std::min<LONG>(right, o.right - gap);
            } else if (o.left > r.left) {
                right = std::min<LONG>(right, o.left - gap);
            } else if (o.right <= r.left) {
                left = std::max<LONG>(left, o.right + gap);
            }
        }
        // Text that fits its place and stays clear of the neighbours is left alone.
        if (need <= r.right - r.left && r.left + need <= right) continue;
        LONG newLeft = r.left;
        if ((c.style & Style::Centered) != 0) {
            // About the same centre, shifted to stay inside the room.
            newLeft = (r.left + r.right - need) / 2;
        } else {
            // To the right first; what does not fit there moves it left into the free room.
            newLeft = std::min<LONG>(r.left, right - need);
        }
        newLeft = std::max<LONG>(left, std::min<LONG>(newLeft, right - need));
        const LONG newRight = std::min<LONG>(right, newLeft + need);
        if (newLeft != r.left || newRight != r.right) {
            SetWindowPos(windows[i], nullptr, newLeft, r.top, newRight - newLeft, r.bottom - r.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
}

}  // namespace kavri::ui::win32
