#include "FakeControls.h"

#include <algorithm>

#include "ui/dialogs/FieldText.h"

namespace kavri::ui::test {

namespace {

// Dialog units to the fake's pixels.
Rect Pixels(int x, int y, int width, int height) {
    return {x * 3 / 2, y * 2, (x + width) * 3 / 2, (y + height) * 2};
}

}  // namespace

FakeControls::FakeControls(const DialogTemplate& tmpl, FakeDesktop& desktop)
    : tmpl_(tmpl), desktop_(desktop) {
    int previous = kNoControlId;
    for (const ControlTemplate& c : tmpl.controls) {
        if (c.id != kNoControlId) {
            Control& control = controls_[c.id];
            control.tmpl = &c;
            control.text = c.text;
            control.enabled = (c.style & Style::Disabled) == 0;
            control.items = c.items;
            if (c.kind == ControlKind::UpDown && (c.style & Style::AutoBuddy) != 0)
                control.buddy = previous;
        }
        previous = c.id;
    }
}

void FakeControls::Open(DialogEvents& events) {
    events_ = &events;
    events.OnInitDialog(*this);
}

FakeControls::Control* FakeControls::Find(int id) {
    const auto found = controls_.find(id);
    return found != controls_.end() ? &found->second : nullptr;
}

const FakeControls::Control* FakeControls::Find(int id) const {
    const auto found = controls_.find(id);
    return found != controls_.end() ? &found->second : nullptr;
}

// --- The user ---

void FakeControls::Click(int id) {
    Control* c = Find(id);
    if (c == nullptr || !c->enabled) return;
    if (c->tmpl->kind == ControlKind::CheckBox && (c->tmpl->style & Style::AutoCheck) != 0) {
        const bool three = (c->tmpl->style & Style::ThreeState) != 0;
        c->check = c->check == CheckState::Clear                  ? CheckState::Checked
                   : c->check == CheckState::Checked && three ? CheckState::Indeterminate
                                                              : CheckState::Clear;
    }
    events_->OnCommand(id);
}

void FakeControls::Type(int id, std::string_view text) {
    if (id == focus_ && editor_ && id == editor_->editId) {
        TypeInCellEditor(text);
        return;
    }
    SetText(id, text);
}

void FakeControls::Focus(int id) {
    const int left = focus_;
    focus_ = id;
    if (left != id && left != kNoControlId && Find(left) != nullptr &&
        Find(left)->tmpl->kind == ControlKind::Edit)
        events_->OnFocusLeft(left);
}

void FakeControls::Arrow(int id, bool up) {
    Control* c = Find(id);
    if (c == nullptr || !c->enabled) return;
    const int low = std::min(c->lower, c->upper), high = std::max(c->lower, c->upper);
    const bool setsBuddy = (c->tmpl->style & Style::SetBuddyInt) != 0;
    if (setsBuddy) {
        const auto typed = ParseSignedField(Text(c->buddy));
        if (typed && *typed >= low && *typed <= high) c->position = *typed;
    }
    const int delta = (up ? 1 : -1) * (c->upper < c->lower ? -1 : 1);
    const int from = c->position;
    events_->OnSpin(id, delta);
    c->position = std::clamp(from + delta, low, high);
    if (setsBuddy) SetText(c->buddy, std::to_string(c->position));
}

bool FakeControls::Press(KeyPress key) {
    if (events_->OnKey(key)) return true;
    if (key.key == Key::Enter) {
        for (const auto& [id, c] : controls_)
            if ((c.tmpl->style & Style::DefaultButton) != 0) Click(id);
    } else if (key.key == Key::Escape) {
        events_->OnCommand(kCancelCommand);
    } else if (key.key == Key::Up || key.key == Key::Down) {
        for (const auto& [id, c] : controls_)
            if (c.buddy == focus_ && focus_ != kNoControlId &&
                (c.tmpl->style & Style::ArrowKeys) != 0)
                Arrow(id, key.key == Key::Up);
    } else if (key.key == Key::Digit) {
        const Control* c = Find(focus_);
        if (c != nullptr && c->tmpl->kind == ControlKind::Edit &&
            (c->tmpl->style & Style::ReadOnly) == 0)
            SetText(focus_, c->text + std::to_string(key.digit));
    }
    return false;
}

int FakeControls::RowAt(int listId, Point point) const {
    const Control* c = Find(listId);
    if (c == nullptr || point.x < 0 || point.y < 0) return -1;
    const int row = point.y / kRowHeight;
    return row < static_cast<int>(c->rows.size()) ? row : -1;
}

void FakeControls::ListClick(int listId, Point point) {
    if (Enabled(listId)) events_->OnListClick(listId, point);
}

void FakeControls::ListDoubleClick(int listId, Point point) {
    if (Enabled(listId)) events_->OnListDoubleClick(listId, point, RowAt(listId, point));
}

void FakeControls::EditLabel(int listId, int row, const std::string& text) {
    events_->OnLabelEdited(listId, row, text);
}

void FakeControls::Tick(int timerId) {
    if (TimerRunning(timerId)) events_->OnTimer(timerId);
}

void FakeControls::TypeInCellEditor(std::string_view text) {
    if (editor_) editor_->text = text;
}

// --- What the window shows ---

bool FakeControls::Enabled(int id) const {
    const Control* c = Find(id);
    return c != nullptr && c->enabled;
}

int FakeControls::RowImage(int listId, int row) const {
    const Control* c = Find(listId);
    return c != nullptr && row >= 0 && row < static_cast<int>(c->rows.size()) ? c->rows[row].image
                                                                               : -1;
}

int FakeControls::ComboCount(int id) const {
    const Control* c = Find(id);
    return c != nullptr ? static_cast<int>(c->items.size()) : 0;
}

std::string FakeControls::ComboItem(int id, int index) const {
    const Control* c = Find(id);
    return c != nullptr && index >= 0 && index < ComboCount(id) ? c->items[index] : std::string();
}

Point FakeControls::CellCentre(int listId, int row, int column) const {
    const Rect r = CellRect(listId, row, column);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// --- DialogControls ---

void FakeControls::SetText(int id, std::string_view text) {
    Control* c = Find(id);
    if (c == nullptr) return;
    c->text = text;
    if (c->tmpl->kind == ControlKind::Edit && events_ != nullptr) events_->OnTextChanged(id);
}

std::string FakeControls::Text(int id) const {
    if (editor_ && id == editor_->editId) return editor_->text;
    const Control* c = Find(id);
    return c != nullptr ? c->text : std::string();
}

void FakeControls::Enable(int id, bool enabled) {
    if (Control* c = Find(id)) c->enabled = enabled;
}

void FakeControls::SetCheck(int id, CheckState state) {
    if (Control* c = Find(id)) c->check = state;
}

CheckState FakeControls::Check(int id) const {
    const Control* c = Find(id);
    return c != nullptr ? c->check : CheckState::Clear;
}

void FakeControls::SetComboItems(int id, const std::vector<std::string>& items) {
    if (Control* c = Find(id)) {
        c->items = items;
        c->selection = -1;
    }
}

void FakeControls::SelectComboItem(int id, int index) {
    if (Control* c = Find(id)) c->selection = index >= 0 && index < ComboCount(id) ? index : -1;
}

int FakeControls::ComboSelection(int id) const {
    const Control* c = Find(id);
    return c != nullptr ? c->selection : -1;
}

void FakeControls::SetSpinRange(int id, int lower, int upper) {
    if (Control* c = Find(id)) {
        c->lower = lower;
        c->upper = upper;
        c->position = std::clamp(c->position, std::min(lower, upper), std::max(lower, upper));
    }
}

void FakeControls::SetListImages(int, int, int, unsigned) {}

void FakeControls::SetListColumns(int listId, const std::vector<ListColumn>& columns) {
    Control* c = Find(listId);
    if (c == nullptr) return;
    c->rows.clear();
    c->columnWidths.clear();
    for (const ListColumn& column : columns) c->columnWidths.push_back(column.width);
}

int FakeControls::ListClientWidth(int listId) const {
    const Control* c = Find(listId);
    return c != nullptr ? c->tmpl->width * 3 / 2 - 4 : 0;
}

void FakeControls::ClearList(int listId) {
    if (Control* c = Find(listId)) c->rows.clear();
}

void FakeControls::AddListRow(int listId, const std::vector<std::string>& cells, int image) {
    if (Control* c = Find(listId)) c->rows.push_back({cells, image});
}

int FakeControls::ListRowCount(int listId) const {
    const Control* c = Find(listId);
    return c != nullptr ? static_cast<int>(c->rows.size()) : 0;
}

void FakeControls::SetListCell(int listId, int row, int column, std::string_view text) {
    Control* c = Find(listId);
    if (c == nullptr || row < 0 || row >= ListRowCount(listId) || column < 0) return;
    auto& cells = c->rows[row].cells;
    if (cells.size() <= static_cast<size_t>(column)) cells.resize(column + 1);
    cells[column] = text;
}

std::string FakeControls::ListCell(int listId, int row, int column) const {
    const Control* c = Find(listId);
    if (c == nullptr || row < 0 || row >= ListRowCount(listId) || column < 0) return {};
    const auto& cells = c->rows[row].cells;
    return static_cast<size_t>(column) < cells.size() ? cells[column] : std::string();
}

void FakeControls::SetRowImage(int listId, int row, int image) {
    Control* c = Find(listId);
    if (c != nullptr && row >= 0 && row < ListRowCount(listId)) c->rows[row].image = image;
}

Rect FakeControls::CellRect(int listId, int row, int column) const {
    const Control* c = Find(listId);
    if (c == nullptr || row < 0 || row >= ListRowCount(listId) || column < 0 ||
        column >= static_cast<int>(c->columnWidths.size()))
        return {};
    int left = 0;
    for (int i = 0; i < column; ++i) left += c->columnWidths[i];
    return {left, row * kRowHeight, left + c->columnWidths[column], (row + 1) * kRowHeight};
}

void FakeControls::OpenCellEditor(const CellEditorRequest& request) {
    editor_ = request;
    focus_ = request.editId;
}

std::optional<std::string> FakeControls::CloseCellEditor() {
    if (!editor_) return std::nullopt;
    const std::string text = editor_->text;
    if (focus_ == editor_->editId) focus_ = kNoControlId;
    editor_.reset();
    return text;
}

void FakeControls::ShowMessage(std::string_view text, std::string_view caption,
                               MessageStyle style) {
    desktop_.messages.push_back({std::string(text), std::string(caption), style});
}

std::optional<std::string> FakeControls::ChooseFile(FileChoice choice, const FileType& type) {
    desktop_.fileRequests.push_back({choice, type});
    return desktop_.fileAnswer;
}

Rect FakeControls::ClientRect() const {
    return Pixels(0, 0, tmpl_.width, tmpl_.height);
}

Rect FakeControls::ControlRect(int id) const {
    const Control* c = Find(id);
    if (c == nullptr) return {};
    return Pixels(c->tmpl->x, c->tmpl->y, c->tmpl->width, c->tmpl->height);
}

int FakeControls::RunModal(const DialogTemplate& tmpl, DialogEvents& events) {
    FakeControls dialog(tmpl, desktop_);
    dialog.Open(events);
    if (onModal) onModal(dialog);
    return dialog.Result().value_or(kCancelCommand);
}

}  // namespace kavri::ui::test
