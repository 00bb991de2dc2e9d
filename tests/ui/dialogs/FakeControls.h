// SPDX-License-Identifier: GPL-3.0-or-later
// A dialog window without a toolkit, for the dialogs' behaviour tests: DialogControls kept as
// plain state per control id (made from the dialog's template), and the user's actions —
// clicks, typing, arrows, keys, list clicks, ticks — reported to the behaviour as a window
// reports them. Disabled controls take no clicks, as on screen. Dialog units are 1.5 pixels
// wide and 2 high; list rows 16 pixels, the columns as wide as set. Messages and file choices
// go to the shared FakeDesktop; a dialog run over this one is opened and handed to `onModal`.
// Enabling and check states take the template's ids only: the behaviour names no other.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/dialogs/DialogEvents.h"
#include "ui/dialogs/DialogTemplate.h"
#include "ui/dialogs/FieldText.h"

namespace kavri::ui::test {

struct ShownMessage {
    std::string text, caption;
    MessageStyle style = MessageStyle::Plain;
};

// What every window of one test shares: the messages shown, the file prompts and their answer.
struct FakeDesktop {
    std::vector<ShownMessage> messages;
    std::vector<std::pair<FileChoice, FileType>> fileRequests;
    std::optional<std::string> fileAnswer;  // nothing: the prompt is cancelled
};

class FakeControls : public DialogControls {
public:
    static constexpr int kRowHeight = 16;

    FakeControls(const DialogTemplate& tmpl, FakeDesktop& desktop) : tmpl_(tmpl), desk_(desktop) {
        int previous = kNoControlId;
        for (const ControlTemplate& t : tmpl.controls) {
            if (t.id != kNoControlId) {
                Control& c = controls_[t.id];
                c.t = &t;
                c.text = t.text;
                c.enabled = (t.style & Style::Disabled) == 0;
                c.items = t.items;
                if (t.kind == ControlKind::UpDown && (t.style & Style::AutoBuddy) != 0)
                    c.buddy = previous;
            }
            previous = t.id;
        }
    }
    void Open(DialogEvents& events) {
        events_ = &events;
        events.OnInitDialog(*this);
    }

    // --- The user ---
    // A click on a button or check box (an automatic box changes its state first).
    void Click(int id) {
        Control* c = Find(id);
        if (c == nullptr || !c->enabled) return;
        if (c->t->kind == ControlKind::CheckBox && (c->t->style & Style::AutoCheck) != 0)
            c->check = c->check == CheckState::Clear ? CheckState::Checked : CheckState::Clear;
        events_->OnCommand(id);
    }
    void Type(int id, std::string_view text) { SetText(id, text); }
    // Gives `id` the keyboard focus (-1: another window); an edit that had it reports it left.
    void Focus(int id) {
        const int left = std::exchange(focus_, id);
        if (left != id && Kind(left) == ControlKind::Edit) events_->OnFocusLeft(left);
    }
    // One click on an up-down's arrow: the change proposed, then the buddy's number stepped.
    void Arrow(int id, bool up) {
        Control* c = Find(id);
        if (c == nullptr || !c->enabled) return;
        const int low = std::min(c->lower, c->upper), high = std::max(c->lower, c->upper);
        const bool setsBuddy = (c->t->style & Style::SetBuddyInt) != 0;
        const auto typed = ParseSignedField(Text(c->buddy));
        if (setsBuddy && typed && *typed >= low && *typed <= high) c->position = *typed;
        const int delta = (up ? 1 : -1) * (c->upper < c->lower ? -1 : 1), from = c->position;
        events_->OnSpin(id, delta);
        c->position = std::clamp(from + delta, low, high);
        if (setsBuddy) SetText(c->buddy, std::to_string(c->position));
    }
    // A key offered to the behaviour, then handled as a dialog does (Enter presses the default
    // button, Escape cancels, Up/Down click the arrows of the focused edit's up-down, digits
    // are typed into an editable edit). True when the behaviour consumed it.
    bool Press(KeyPress key) {
        if (events_->OnKey(key)) return true;
        for (const auto& [id, c] : controls_) {
            if (key.key == Key::Enter && (c.t->style & Style::DefaultButton) != 0) Click(id);
            if ((key.key == Key::Up || key.key == Key::Down) && focus_ != kNoControlId &&
                c.buddy == focus_ && (c.t->style & Style::ArrowKeys) != 0)
                Arrow(id, key.key == Key::Up);
        }
        if (key.key == Key::Escape) events_->OnCommand(kCancelCommand);
        if (key.key == Key::Digit && Kind(focus_) == ControlKind::Edit &&
            (Find(focus_)->t->style & Style::ReadOnly) == 0)
            SetText(focus_, Text(focus_) + std::to_string(key.digit));
        return false;
    }
    void ListClick(int listId, Point p) {
        if (Enabled(listId)) events_->OnListClick(listId, p);
    }
    void ListDoubleClick(int listId, Point p) {
        const int row =
            p.x >= 0 && p.y >= 0 && p.y / kRowHeight < ListRowCount(listId) ? p.y / kRowHeight : -1;
        if (Enabled(listId)) events_->OnListDoubleClick(listId, p, row);
    }
    void EditLabel(int listId, int row, const std::string& text) {
        events_->OnLabelEdited(listId, row, text);
    }
    void Tick(int timerId) {
        if (timers_.count(timerId) != 0) events_->OnTimer(timerId);
    }

    // --- What the window shows ---
    bool Enabled(int id) const { return Find(id) != nullptr && Find(id)->enabled; }
    int RowImage(int listId, int row) const { return Rows(listId).at(row).image; }
    int WaitCursorDepth() const { return waitCursor_; }
    std::optional<int> Result() const { return result_; }
    const std::vector<std::string>& ComboItems(int id) const { return Find(id)->items; }
    Point CellCentre(int listId, int row, int column) const {
        const Rect r = CellRect(listId, row, column);
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }

    std::function<void(FakeControls&)> onModal;  // a dialog run over this one; default: cancelled
    std::optional<MicrostepFigures> drawn;       // what the last paint drew
    int selected = -1;                           // the edit whose text was last selected

    // --- DialogControls ---
    void SetText(int id, std::string_view text) override {
        if (editor_ && id == editor_->editId) editor_->text = text;
        if (Control* c = Find(id)) c->text = text;
        if (Kind(id) == ControlKind::Edit && events_ != nullptr) events_->OnTextChanged(id);
    }
    std::string Text(int id) const override {
        if (editor_ && id == editor_->editId) return editor_->text;
        return Find(id) != nullptr ? Find(id)->text : std::string();
    }
    void SelectText(int id) override { selected = id; }
    void Enable(int id, bool enabled) override { Find(id)->enabled = enabled; }
    void SetCheck(int id, CheckState state) override { Find(id)->check = state; }
    CheckState Check(int id) const override { return Find(id)->check; }
    void SetComboItems(int id, const std::vector<std::string>& items) override {
        Find(id)->items = items;
        Find(id)->selection = -1;
    }
    void SelectComboItem(int id, int index) override {
        Find(id)->selection = index >= 0 && index < int(ComboItems(id).size()) ? index : -1;
    }
    int ComboSelection(int id) const override { return Find(id)->selection; }
    void SetSpinRange(int id, int lower, int upper) override {
        Control* c = Find(id);
        c->lower = lower;
        c->upper = upper;
        c->position = std::clamp(c->position, std::min(lower, upper), std::max(lower, upper));
    }
    void SetListImages(int, int, int, unsigned) override {}
    void SetListColumns(int listId, const std::vector<ListColumn>& columns) override {
        Find(listId)->rows.clear();
        Find(listId)->widths.clear();
        for (const ListColumn& column : columns) Find(listId)->widths.push_back(column.width);
    }
    int ListClientWidth(int listId) const override { return Find(listId)->t->width * 3 / 2 - 4; }
    void ClearList(int listId) override { Find(listId)->rows.clear(); }
    void AddListRow(int listId, const std::vector<std::string>& cells, int image) override {
        Find(listId)->rows.push_back({cells, image});
    }
    int ListRowCount(int listId) const override { return int(Rows(listId).size()); }
    void SetListCell(int listId, int row, int column, std::string_view text) override {
        auto& cells = Find(listId)->rows.at(row).cells;
        cells.resize(std::max<size_t>(cells.size(), column + 1));
        cells[column] = text;
    }
    std::string ListCell(int listId, int row, int column) const override {
        const auto& cells = Rows(listId).at(row).cells;
        return size_t(column) < cells.size() ? cells[column] : std::string();
    }
    void SetRowImage(int listId, int row, int image) override {
        Find(listId)->rows.at(row).image = image;
    }
    Rect CellRect(int listId, int row, int column) const override {
        const std::vector<int>& widths = Find(listId)->widths;
        if (row < 0 || row >= ListRowCount(listId) || column < 0 || column >= int(widths.size()))
            return {};
        int left = 0;
        for (int i = 0; i < column; ++i) left += widths[i];
        return {left, row * kRowHeight, left + widths[column], (row + 1) * kRowHeight};
    }
    void OpenCellEditor(const CellEditorRequest& request) override {
        editor_ = request;
        focus_ = request.editId;
    }
    bool CellEditorOpen() const override { return editor_.has_value(); }
    std::optional<std::string> CloseCellEditor() override {
        if (!editor_) return std::nullopt;
        if (focus_ == editor_->editId) focus_ = kNoControlId;
        return std::exchange(editor_, std::nullopt)->text;
    }
    void SetFocus(int id) override { Focus(id); }
    int FocusedControl() const override { return focus_; }
    void StartTimer(int timerId, int periodMs) override { timers_[timerId] = periodMs; }
    void StopTimer(int timerId) override { timers_.erase(timerId); }
    void ShowMessage(std::string_view text, std::string_view caption, MessageStyle style) override {
        desk_.messages.push_back({std::string(text), std::string(caption), style});
    }
    std::optional<std::string> ChooseFile(FileChoice choice, const FileType& type) override {
        desk_.fileRequests.emplace_back(choice, type);
        return desk_.fileAnswer;
    }
    void SetWaitCursor(bool on) override { waitCursor_ += on ? 1 : -1; }
    Rect ClientRect() const override { return Pixels(0, 0, tmpl_.width, tmpl_.height); }
    Rect ControlRect(int id) const override {
        const ControlTemplate* t = Find(id) != nullptr ? Find(id)->t : nullptr;
        return t != nullptr ? Pixels(t->x, t->y, t->width, t->height) : Rect{};
    }
    void Redraw() override {}
    void DrawCurve(const MicrostepFigures& figures) override { drawn = figures; }
    void EndDialog(int result) override { result_ = result; }
    int RunModal(const DialogTemplate& tmpl, DialogEvents& events) override {
        FakeControls dialog(tmpl, desk_);
        dialog.Open(events);
        if (onModal) onModal(dialog);
        return dialog.Result().value_or(kCancelCommand);
    }

private:
    struct Row {
        std::vector<std::string> cells;
        int image = -1;
    };
    struct Control {
        const ControlTemplate* t = nullptr;
        std::string text;
        bool enabled = true;
        CheckState check = CheckState::Clear;
        std::vector<std::string> items;
        int selection = -1;
        int lower = 100, upper = 0, position = 0;  // up-downs: a new one runs 100 .. 0
        int buddy = kNoControlId;
        std::vector<int> widths;
        std::vector<Row> rows;
    };
    static Rect Pixels(int x, int y, int width, int height) {
        return {x * 3 / 2, y * 2, (x + width) * 3 / 2, (y + height) * 2};
    }
    Control* Find(int id) {
        const auto found = controls_.find(id);
        return found != controls_.end() ? &found->second : nullptr;
    }
    const Control* Find(int id) const { return const_cast<FakeControls*>(this)->Find(id); }
    std::optional<ControlKind> Kind(int id) const {
        return Find(id) != nullptr ? std::optional(Find(id)->t->kind) : std::nullopt;
    }
    const std::vector<Row>& Rows(int listId) const { return Find(listId)->rows; }

    const DialogTemplate& tmpl_;
    FakeDesktop& desk_;
    DialogEvents* events_ = nullptr;
    std::map<int, Control> controls_;
    std::map<int, int> timers_;
    std::optional<CellEditorRequest> editor_;
    int focus_ = kNoControlId;
    int waitCursor_ = 0;
    std::optional<int> result_;
};

}  // namespace kavri::ui::test
