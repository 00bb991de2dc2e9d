// SPDX-License-Identifier: GPL-3.0-or-later
// What a dialog's window reports to its behaviour, by control id: the front end calls these
// from its own notifications. Every handler does nothing unless the behaviour overrides it.
#pragma once

#include <string>

#include "ui/dialogs/DialogControls.h"

namespace kavri::ui {

// Ids every dialog shares: the accept and the cancel command. Enter on a dialog with a default
// button, Escape and the window's close box arrive as these commands.
constexpr int kAcceptCommand = 1;
constexpr int kCancelCommand = 2;

enum class Key {
    Enter,
    Escape,
    Left,
    Right,
    Up,
    Down,
    Digit,  // 0-9 of the main keyboard; the numeric keypad's digits are Other
    Other,
};

struct KeyPress {
    Key key = Key::Other;
    int digit = -1;  // 0-9 for Key::Digit
    bool ctrl = false;
};

class DialogEvents {
public:
    virtual ~DialogEvents() = default;

    // The window and its controls exist; `controls` stays valid until the dialog has ended.
    virtual void OnInitDialog(DialogControls& /*controls*/) {}

    // A key pressed anywhere in the dialog, before the focused control or the dialog's own
    // keyboard handling (Tab, Escape, the default button) sees it. True consumes it.
    virtual bool OnKey(const KeyPress& /*key*/) { return false; }

    // A button or a check box was clicked (its new state already shown for automatic boxes);
    // also kAcceptCommand and kCancelCommand.
    virtual void OnCommand(int /*id*/) {}
    // An edit's text changed, typed or set.
    virtual void OnTextChanged(int /*id*/) {}
    // The keyboard focus left an edit.
    virtual void OnFocusLeft(int /*id*/) {}
    // An up-down's arrow (or Up or Down in its buddy) proposes to change its position by
    // `delta`; reported before the position changes, also at the ends of the range.
    virtual void OnSpin(int /*id*/, int /*delta*/) {}

    // Report lists: a click, and a double click with the row it names (-1 none), at a point in
    // the list's client coordinates; the end of editing a row's first-column label (not
    // reported when the editing was cancelled). The list shows the edited text only when the
    // behaviour sets it.
    virtual void OnListClick(int /*listId*/, Point /*point*/) {}
    virtual void OnListDoubleClick(int /*listId*/, Point /*point*/, int /*row*/) {}
    virtual void OnLabelEdited(int /*listId*/, int /*row*/, const std::string& /*text*/) {}

    virtual void OnTimer(int /*timerId*/) {}
    // The dialog is being painted: the time for DialogControls::DrawCurve.
    virtual void OnPaint() {}
};

}  // namespace kavri::ui
