// SPDX-License-Identifier: GPL-3.0-or-later
// The editor over a cell of a report list: an edit with a thin border and, at its right end,
// up-down arrows that step the number in it, both children of the list so they scroll and
// clip with it, and the list's font. The editor opens at the first click of a double click on
// the cell, so the second click lands on it: a press on the editor or its arrows before any
// button went up over them, close enough in time and place to the click that opened it,
// finishes that double click. It is posted to the dialog as kEditorDoubleClickMessage with
// the point in the list's client coordinates, and swallowed.
#pragma once

#include <windows.h>

#include <string>

#include "ui/dialogs/DialogControls.h"

namespace kavri::ui::win32 {

constexpr UINT kEditorDoubleClickMessage = WM_APP + 1;

class CellEditor {
public:
    // `cell`: the cell's bounds in the list; `openedBy` and `openedAt`: the point (list client
    // coordinates) and message time of the click that opens the editor.
    CellEditor(HWND list, HWND dialog, const CellEditorRequest& request, const Rect& cell,
               Point openedBy, LONG openedAt);
    ~CellEditor();
    CellEditor(const CellEditor&) = delete;
    CellEditor& operator=(const CellEditor&) = delete;

    int ListId() const { return listId_; }
    HWND Edit() const { return edit_; }
    HWND Spin() const { return spin_; }
    std::string Text() const;

private:
    static LRESULT CALLBACK Subclass(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);
    bool FinishesDoubleClick(HWND hwnd, LPARAM lParam) const;

    HWND list_;
    HWND dialog_;
    int listId_;
    HWND edit_ = nullptr;
    HWND spin_ = nullptr;
    Point openedBy_;
    LONG openedAt_;
    bool released_ = false;  // a mouse button went up over the editor
};

}  // namespace kavri::ui::win32
