// SPDX-License-Identifier: GPL-3.0-or-later
// One dialog of the Win32 front end: a window built by the dialog manager from a template
// (DialogResource.h), the controls interface over its controls, and the notifications of its
// controls turned into the behaviour's events. It runs modally in the program's own message
// loop, which shows every key to the behaviour before the dialog manager's keyboard handling
// (IsDialogMessageW) and the focused control see it.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "ui/dialogs/DialogControls.h"
#include "ui/dialogs/DialogEvents.h"
#include "ui/dialogs/DialogTemplate.h"

namespace kavri::ui::win32 {

class CellEditor;

class DialogWindow final : public DialogControls {
public:
    // Creates the dialog, hidden, owned by `owner` (none for the main dialog), with `events`
    // as its behaviour; OnInitDialog has run when it returns. Throws std::runtime_error when
    // the window cannot be created.
    DialogWindow(const DialogTemplate& tmpl, DialogEvents& events, HWND owner);
    ~DialogWindow() override;
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    HWND Handle() const { return hwnd_; }
    HWND Control(int id) const;

    // Shows the dialog with its owner disabled and runs messages until EndDialog; returns the
    // result. A WM_QUIT ends it with kCancelCommand and is posted again for the outer loop.
    int RunModal();
    bool Ended() const { return ended_; }

    // One message of the modal loop: a key pressed in this dialog goes to the behaviour
    // first (DialogEvents::OnKey), then, unless consumed, to the dialog manager's keyboard
    // handling (IsDialogMessageW), and what is left to its window.
    void Dispatch(const MSG& message);

    // DialogControls.
    void SetText(int id, std::string_view text) override;
    std::string Text(int id) const override;
    void SelectText(int id) override;
    void Enable(int id, bool enabled) override;
    void SetCheck(int id, CheckState state) override;
    CheckState Check(int id) const override;
    void SetComboItems(int id, const std::vector<std::string>& items) override;
    void SelectComboItem(int id, int index) override;
    int ComboSelection(int id) const override;
    void SetSpinRange(int id, int lower, int upper) override;
    void SetListImages(int listId, int bitmapId, int size, unsigned transparent) override;
    void SetListColumns(int listId, const std::vector<ListColumn>& columns) override;
    int ListClientWidth(int listId) const override;
    void ClearList(int listId) override;
    void AddListRow(int listId, const std::vector<std::string>& cells, int image) override;
    int ListRowCount(int listId) const override;
    void SetListCell(int listId, int row, int column, std::string_view text) override;
    std::string ListCell(int listId, int row, int column) const override;
    void SetRowImage(int listId, int row, int image) override;
    Rect CellRect(int listId, int row, int column) const override;
    void OpenCellEditor(const CellEditorRequest& request) override;
    bool CellEditorOpen() const override;
    std::optional<std::string> CloseCellEditor() override;
    void SetFocus(int id) override;
    int FocusedControl() const override;
    void StartTimer(int timerId, int periodMs) override;
    void StopTimer(int timerId) override;
    void ShowMessage(std::string_view text, std::string_view caption,
                     MessageStyle style) override;
    std::optional<std::string> ChooseFile(FileChoice choice, const FileType& type) override;
    void SetWaitCursor(bool on) override;
    Rect ClientRect() const override;
    Rect ControlRect(int id) const override;
    void Redraw() override;
    void DrawCurve(const MicrostepFigures& figures) override;
    void EndDialog(int result) override;
    int RunModal(const DialogTemplate& tmpl, DialogEvents& events) override;

private:
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnCommandMessage(WPARAM wParam);
    // Stores the notification's result as the dialog's message result.
    void OnNotify(const NMHDR& header);
    void OnPaintMessage();
    void OnEditorDoubleClick(Point point);
    // True when `message` is a key pressed in this dialog that the behaviour consumed.
    bool PreTranslate(const MSG& message);
    HWND List(int listId) const;
    // The row at `point` of a list, in any column; -1 none.
    static int RowAt(HWND list, Point point);
    // The list's own label editor is for the first column only, and not while a cell editor
    // is open.
    bool LabelEditAllowed(HWND list) const;

    const DialogTemplate& tmpl_;
    DialogEvents& events_;
    HWND owner_;
    HWND hwnd_ = nullptr;
    bool reporting_ = false;  // events flow from OnInitDialog on
    bool ended_ = false;
    int result_ = 0;
    HDC paintDc_ = nullptr;   // set while OnPaint runs
    Point lastClick_;         // the last click on a list, in its client coordinates
    LONG lastClickTime_ = 0;  // and its message time
    int waitCursors_ = 0;
    HCURSOR cursorBeforeWait_ = nullptr;
    std::unique_ptr<CellEditor> editor_;
};

}  // namespace kavri::ui::win32
