// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/CellEditor.h"

#include <commctrl.h>

#include <cstdlib>

#include "platform/WideTextWin32.h"
#include "ui/win32/WindowText.h"

namespace kavri::ui::win32 {

namespace {
constexpr int kInset = 5;  // the editor leaves this many pixels of the cell free on each side
}

CellEditor::CellEditor(HWND list, HWND dialog, const CellEditorRequest& request,
                       const Rect& cell, Point openedBy, LONG openedAt)
    : list_(list),
      dialog_(dialog),
      listId_(request.listId),
      openedBy_(openedBy),
      openedAt_(openedAt) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const int left = cell.left + kInset;
    const int width = cell.right - cell.left - 2 * kInset;
    const int height = cell.bottom - cell.top;
    edit_ = CreateWindowExW(WS_EX_STATICEDGE, WC_EDITW, L"", WS_CHILD | WS_VISIBLE | ES_LEFT,
                            left, cell.top, width, height, list,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(request.editId)),
                            instance, nullptr);
    // The arrows start as a square at the right end; made the edit's buddy, they stay there
    // and the edit gives up their width.
    spin_ = CreateWindowExW(
        0, UPDOWN_CLASSW, nullptr,
        WS_CHILD | WS_VISIBLE | UDS_ARROWKEYS | UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_NOTHOUSANDS,
        left + width - height, cell.top, height, height, list,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(request.spinId)), instance, nullptr);
    SendMessageW(spin_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit_), 0);
    SendMessageW(spin_, UDM_SETRANGE32, static_cast<WPARAM>(request.lower),
                 static_cast<LPARAM>(request.upper));
    SendMessageW(edit_, WM_SETFONT, SendMessageW(list, WM_GETFONT, 0, 0), FALSE);
    SetWindowTextW(edit_, Utf8ToWide(request.text).c_str());
    for (HWND part : {edit_, spin_})
        SetWindowSubclass(part, &CellEditor::Subclass, 0, reinterpret_cast<DWORD_PTR>(this));
    ::SetFocus(edit_);
}

CellEditor::~CellEditor() {
    for (HWND part : {spin_, edit_}) {
        if (part == nullptr || !IsWindow(part)) continue;
        RemoveWindowSubclass(part, &CellEditor::Subclass, 0);
        DestroyWindow(part);
    }
}

std::string CellEditor::Text() const {
    return WindowText(edit_);
}

// The second press of a double click follows the first within the system's double-click time
// and rectangle.
bool CellEditor::FinishesDoubleClick(HWND hwnd, LPARAM lParam) const {
    if (released_) return false;
    const LONG elapsed = GetMessageTime() - openedAt_;
    if (elapsed < 0 || static_cast<UINT>(elapsed) > GetDoubleClickTime()) return false;
    POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    MapWindowPoints(hwnd, list_, &point, 1);
    return std::abs(point.x - openedBy_.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
           std::abs(point.y - openedBy_.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
}

LRESULT CALLBACK CellEditor::Subclass(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR self) {
    auto* editor = reinterpret_cast<CellEditor*>(self);
    switch (message) {
        case WM_LBUTTONUP:
            editor->released_ = true;
            break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            if (editor->FinishesDoubleClick(hwnd, lParam)) {
                POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
                MapWindowPoints(hwnd, editor->list_, &point, 1);
                // Posted: the dialog closes the editor, which must not happen inside the
                // editor's own message.
                PostMessageW(editor->dialog_, kEditorDoubleClickMessage, 0,
                             MAKELPARAM(point.x, point.y));
                return 0;
            }
            break;
        default:
            break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace kavri::ui::win32
