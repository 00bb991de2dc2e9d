// A dialog window without a toolkit, for the dialogs' behaviour tests: DialogControls kept as
// plain state per control id (made from the dialog's template), and the user's actions —
// clicks, typing, arrows, keys, list clicks, ticks — reported to the behaviour as a window
// would report them. Disabled controls take no clicks, as on screen. List cells are 16 pixels
// high, the columns as wide as set. Message boxes and file choices are recorded and answered
// by the test; a dialog run over this one is handed to `onModal`.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/dialogs/DialogControls.h"
#include "ui/dialogs/DialogEvents.h"
#include "ui/dialogs/DialogTemplate.h"

namespace kavri::ui::test {

struct ShownMessage {
    std::string text;
    std::string caption;
    MessageStyle style = MessageStyle::Plain;
};

struct FileRequest {
    FileChoice choice = FileChoice::Open;
    FileType type;
};

// What every window of one test shares: the messages shown and the file prompts' answers.
struct FakeDesktop {
    std::vector<ShownMessage> messages;
    std::vector<FileRequest> fileRequests;
    std::optional<std::string> fileAnswer;  // nothing: the prompt is cancelled
};

class FakeControls : public DialogControls {
public:
    static constexpr int kRowHeight = 16;

    FakeControls(const DialogTemplate& tmpl, FakeDesktop& desktop);

    // Opens the window: the behaviour's OnInitDialog.
    void Open(DialogEvents& events);

    // --- The user ---
    // A click on a button or check box (an automatic box changes its state first).
    void Click(int id);
    // Types `text` over an edit's contents.
    void Type(int id, std::string_view text);
    // Gives `id` the keyboard focus; an edit that had it reports that it was left.
    void Focus(int id);
    // One click on an up-down's arrow: the change proposed, then the buddy's number stepped.
    void Arrow(int id, bool up);
    // A key pressed with the focus where it is: offered to the behaviour, then handled as a
    // dialog does (Enter presses the default button, Escape cancels, Up/Down click the arrows
    // of an edit's up-down, digits are typed into an editable edit). True when the behaviour
    // consumed it.
    bool Press(KeyPress key);
    void ListClick(int listId, Point point);
    void ListDoubleClick(int listId, Point point);
    void EditLabel(int listId, int row, const std::string& text);
    // The timer's tick, when it runs.
    void Tick(int timerId);
    // Types into the open cell editor.
    void TypeInCellEditor(std::string_view text);

    // --- What the window shows ---
    bool Enabled(int id) const;
    int RowImage(int listId, int row) const;
    int Focused() const { return FocusedControl(); }
    bool TimerRunning(int timerId) const { return timers_.count(timerId) != 0; }
    int WaitCursorDepth() const { return waitCursor_; }
    std::optional<int> Result() const { return result_; }
    int ComboCount(int id) const;
    std::string ComboItem(int id, int index) const;
    int Redraws() const { return redraws_; }
    Point CellCentre(int listId, int row, int column) const;

    // A dialog run over this one: opened, then handed to this function (default: cancelled).
    std::function<void(FakeControls&)> onModal;

    // --- DialogControls ---
    void SetText(int id, std::string_view text) override;
    std::string Text(int id) const override;
    void SelectText(int id) override { selected_ = id; }
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
    bool CellEditorOpen() const override { return editor_.has_value(); }
    std::optional<std::string> CloseCellEditor() override;
    void SetFocus(int id) override { Focus(id); }
    int FocusedControl() const override { return focus_; }
    void StartTimer(int timerId, int periodMs) override { timers_[timerId] = periodMs; }
    void StopTimer(int timerId) override { timers_.erase(timerId); }
    void ShowMessage(std::string_view text, std::string_view caption,
                     MessageStyle style) override;
    std::optional<std::string> ChooseFile(FileChoice choice, const FileType& type) override;
    void SetWaitCursor(bool on) override { waitCursor_ += on ? 1 : -1; }
    Rect ClientRect() const override;
    Rect ControlRect(int id) const override;
    void Redraw() override { ++redraws_; }
    void DrawCurve(const MicrostepFigures& figures) override { drawn = figures; }
    void EndDialog(int result) override { result_ = result; }
    int RunModal(const DialogTemplate& tmpl, DialogEvents& events) override;

    std::optional<MicrostepFigures> drawn;  // what the last paint drew
    int selected_ = -1;                     // the edit whose text was last selected

private:
    struct Row {
        std::vector<std::string> cells;
        int image = -1;
    };
    struct Control {
        const ControlTemplate* tmpl = nullptr;
        std::string text;
        bool enabled = true;
        CheckState check = CheckState::Clear;
        std::vector<std::string> items;
        int selection = -1;
        int lower = 100, upper = 0, position = 0;  // up-downs: a new one runs 100 .. 0
        int buddy = kNoControlId;
        std::vector<int> columnWidths;
        std::vector<Row> rows;
    };
    Control* Find(int id);
    const Control* Find(int id) const;
    int RowAt(int listId, Point point) const;

    const DialogTemplate& tmpl_;
    FakeDesktop& desktop_;
    DialogEvents* events_ = nullptr;
    std::map<int, Control> controls_;
    std::map<int, int> timers_;
    std::optional<CellEditorRequest> editor_;
    int focus_ = -1;
    int waitCursor_ = 0;
    int redraws_ = 0;
    std::optional<int> result_;
};

}  // namespace kavri::ui::test
