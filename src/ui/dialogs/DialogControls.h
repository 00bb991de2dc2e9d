// SPDX-License-Identifier: GPL-3.0-or-later
// What a dialog's behaviour does to its window, control by control id, without knowing the
// toolkit: texts, enabling, check boxes, combo boxes, the report list with its row icons and the
// editor over a cell, the arrows' ranges, the keyboard focus, a window timer, message boxes and
// file choices, the wait cursor, the drawing of the microstep curve, and modal dialogs opened
// over this one. Each front end (Qt, Win32) implements it over its own widgets or windows, so
// the behaviour is written once; what the window reports back is DialogEvents.h.
//
// Texts are UTF-8. Pixel positions are in the client coordinates of the control named (the
// list's for cells, the dialog's for ClientRect and ControlRect). An id that names no control
// of the dialog, or a control of another kind, is ignored by the setters and reads as empty,
// unchecked, -1 or 0 from the getters.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/MicrostepCurves.h"

namespace kavri::ui {

class DialogEvents;
struct DialogTemplate;

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// Right and bottom edges excluded.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool Contains(Point p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    bool Empty() const { return right <= left || bottom <= top; }
    bool operator==(const Rect&) const = default;
};

// The three states of a check box; two-state boxes know the first two only.
enum class CheckState { Clear = 0, Checked = 1, Indeterminate = 2 };

enum class MessageStyle { Plain, Warning };

enum class FileChoice {
    Open,  // the file and its folder must exist
    Save,  // the folder must exist; replacing an existing file is confirmed first
};

// One file type of a file choice: "Settings File (*.fws)", "*.fws", "fws". The suffix is added
// to a name typed without one.
struct FileType {
    std::string description;
    std::string pattern;
    std::string defaultSuffix;
};

struct ListColumn {
    std::string heading;
    int width = 0;  // pixels
};

// An edit with arrows laid over cell (row, column) of a report list, narrower than the cell by
// a few pixels on each side, holding `text` with the keyboard focus in it. The arrows step the
// number in the edit within lower .. upper. The edit and the arrows carry the ids given, so
// FocusedControl tells when the focus is in the editor.
struct CellEditorRequest {
    int listId = 0;
    int row = 0;
    int column = 0;
    std::string text;
    int lower = 0;
    int upper = 0;
    int editId = 0;
    int spinId = 0;
};

class DialogControls {
public:
    virtual ~DialogControls() = default;

    // Edits, labels, buttons and check boxes: the text shown. Setting an edit's text reports a
    // text change (DialogEvents::OnTextChanged) as typing does.
    virtual void SetText(int id, std::string_view text) = 0;
    virtual std::string Text(int id) const = 0;
    // Selects the whole text of an edit, e.g. one whose value was refused.
    virtual void SelectText(int id) = 0;

    virtual void Enable(int id, bool enabled) = 0;

    virtual void SetCheck(int id, CheckState state) = 0;
    virtual CheckState Check(int id) const = 0;

    // Combo boxes: the items, and the selected item's index (-1 none).
    virtual void SetComboItems(int id, const std::vector<std::string>& items) = 0;
    virtual void SelectComboItem(int id, int index) = 0;
    virtual int ComboSelection(int id) const = 0;

    // Up-down arrows: the range they step within. A range with lower above upper runs
    // backwards, so the up arrow proposes -1 (DialogEvents::OnSpin).
    virtual void SetSpinRange(int id, int lower, int upper) = 0;

    // Report lists. The images are cut from bitmap resource `bitmapId`, a strip of square
    // images `size` pixels wide in which colour `transparent` (0xRRGGBB) is see-through.
    virtual void SetListImages(int listId, int bitmapId, int size, unsigned transparent) = 0;
    // Replaces every column; rows are removed.
    virtual void SetListColumns(int listId, const std::vector<ListColumn>& columns) = 0;
    // Width of the list's client area in pixels, for dividing it among columns.
    virtual int ListClientWidth(int listId) const = 0;
    virtual void ClearList(int listId) = 0;
    // Appends a row with a text per column (missing ones empty) and image `image` (-1 none).
    virtual void AddListRow(int listId, const std::vector<std::string>& cells, int image) = 0;
    virtual int ListRowCount(int listId) const = 0;
    virtual void SetListCell(int listId, int row, int column, std::string_view text) = 0;
    virtual std::string ListCell(int listId, int row, int column) const = 0;
    virtual void SetRowImage(int listId, int row, int image) = 0;
    // The cell's bounds in the list's client coordinates; empty when there is no such cell.
    virtual Rect CellRect(int listId, int row, int column) const = 0;

    // The editor over a list cell; one at a time.
    virtual void OpenCellEditor(const CellEditorRequest& request) = 0;
    virtual bool CellEditorOpen() const = 0;
    // Closes the editor and gives the text it held; nothing when none was open.
    virtual std::optional<std::string> CloseCellEditor() = 0;

    virtual void SetFocus(int id) = 0;
    // The control of this dialog (or its cell editor) that has the keyboard focus; -1 when the
    // focus is elsewhere.
    virtual int FocusedControl() const = 0;

    // A repeating window timer; its ticks arrive as DialogEvents::OnTimer(timerId).
    virtual void StartTimer(int timerId, int periodMs) = 0;
    virtual void StopTimer(int timerId) = 0;

    // A message box with an OK button over this dialog; returns when it is closed.
    virtual void ShowMessage(std::string_view text, std::string_view caption,
                             MessageStyle style) = 0;
    // The file the user chose (full path), nothing when the choice was cancelled.
    virtual std::optional<std::string> ChooseFile(FileChoice choice, const FileType& type) = 0;

    // The wait cursor over the whole program while `on`, for an exchange that blocks.
    virtual void SetWaitCursor(bool on) = 0;

    // The dialog's client area, and a control's rectangle in it (empty when there is none).
    virtual Rect ClientRect() const = 0;
    virtual Rect ControlRect(int id) const = 0;
    // Asks for the dialog to be painted again (DialogEvents::OnPaint); DrawCurve is for use in
    // that call only: the white areas, then the lines in black, one pixel wide.
    virtual void Redraw() = 0;
    virtual void DrawCurve(const MicrostepFigures& figures) = 0;

    // Ends this dialog with `result` (1 accepted, 2 cancelled).
    virtual void EndDialog(int result) = 0;
    // Builds a dialog from `tmpl` over this one and runs it modally with `events` as its
    // behaviour; returns the result it ended with.
    virtual int RunModal(const DialogTemplate& tmpl, DialogEvents& events) = 0;
};

}  // namespace kavri::ui
