// SPDX-License-Identifier: GPL-3.0-or-later
// The filter list of the main dialog: rows from the device's table, the current-filter icon,
// the editor over "Correction" and "Focus Shift" cells, the name editor and double-click
// selection.
#include <string>

#include "device/DeviceOperations.h"
#include "ui/dialogs/ControlDialog.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/dialogs/ValueText.h"

namespace kavri::ui {
namespace {

namespace Id = ControlIds;

constexpr int kCorrectionColumn = 2;
constexpr int kFocusShiftColumn = 3;
constexpr int kFocusShiftNone = 20000;
constexpr int kCellLowest = -1000;  // the editor's arrows step within these
constexpr int kCellHighest = 1000;

std::string RowName(const FilterEntry& row) {
    return NameText(std::string_view(row.name, kFilterNameSize));
}

}  // namespace

void ControlDialog::FillFilterList() {
    c_->ClearList(Id::FilterList);
    const auto& filters = device_->filters;
    for (size_t i = 0; i < filters.size(); ++i) {
        const FilterEntry& row = filters[i];
        c_->AddListRow(Id::FilterList,
                       {RowName(row), std::to_string(i), std::to_string(row.wheelPosition),
                        FocusShiftText(row.focuserPosition)},
                       static_cast<int>(i) == device_->currentFilter ? 1 : 0);
    }
}

void ControlDialog::MarkCurrentFilter() {
    highlightedFilter_ = device_->currentFilter;
    for (int i = 0; i < c_->ListRowCount(Id::FilterList); ++i)
        c_->SetRowImage(Id::FilterList, i, i == highlightedFilter_ ? 1 : 0);
}

void ControlDialog::OnListClick(int listId, Point point) {
    if (listId == Id::FilterList) BeginCellEdit(point);
}

bool ControlDialog::BeginCellEdit(Point point) {
    int row = -1;
    int column = -1;
    for (int i = 0; i < c_->ListRowCount(Id::FilterList) && row < 0; ++i) {
        for (int c : {kCorrectionColumn, kFocusShiftColumn}) {
            if (c_->CellRect(Id::FilterList, i, c).Contains(point)) {
                row = i;
                column = c;
                break;
            }
        }
    }
    if (row < 0) return false;

    EndCellEdit();
    editRow_ = row;
    editColumn_ = column;
    c_->OpenCellEditor({Id::FilterList, row, column, c_->ListCell(Id::FilterList, row, column),
                        kCellLowest, kCellHighest, Id::CellEditor, Id::CellSpin});
    return true;
}

void ControlDialog::EndCellEdit() {
    const std::optional<std::string> edited = c_->CloseCellEditor();
    if (!edited) return;
    const std::string_view text = TrimBlanks(*edited);

    // The table may have shrunk at a probe since the editor opened: the edit has no row then.
    if (editRow_ < 0 || static_cast<size_t>(editRow_) >= device_->filters.size()) return;
    FilterEntry& row = device_->filters[static_cast<size_t>(editRow_)];

    // "none" (any text with an N) clears a focus shift. Anything else must be a whole number:
    // a slip of the keyboard read as 0 would move the wheel or the focuser to a position
    // nobody chose, so it is refused and the cell keeps its value.
    int64_t value = 0;
    if (editColumn_ == kFocusShiftColumn && text.find_first_of("Nn") != std::string_view::npos) {
        value = kFocusShiftNone;
    } else if (!ParseInteger(text, true, value)) {
        ShowWarning("«" + std::string(text) + "» не является целым числом.\nЯчейка не изменена.");
        return;
    }
    // The controller keeps positions in 16 bits: a larger number would be stored cut to
    // another position, so it is refused and the cell keeps its value.
    if (!FitsControllerRange(value)) {
        ShowWarning("Значение " + std::string(text) +
                    " вне диапазона от -32768 до 32767.\nЯчейка не изменена.");
        return;
    }
    int32_t& field = editColumn_ == kCorrectionColumn ? row.wheelPosition : row.focuserPosition;
    if (value == field) return;
    field = static_cast<int32_t>(value);

    // The table is read back: the list shows what the controller holds, so a write it did not
    // take is told and leaves the old value in the cell.
    const bool written = WriteConfiguration(*device_);
    FillFilterList();
    if (!written) {
        ShowWarning(
            FailureMessage("Контроллер не принял таблицу фильтров.", FailureText(*device_)));
        return;
    }
    // A new wheel position of the filter in the light path takes effect only by going there.
    if (editColumn_ == kCorrectionColumn && editRow_ == device_->currentFilter)
        device_->SelectFilter(device_->currentFilter);
}

void ControlDialog::OnListDoubleClick(int listId, Point point, int row) {
    if (listId != Id::FilterList) return;
    c_->SetWaitCursor(true);
    if (row >= 0) {
        if (device_->SelectFilter(row)) MarkCurrentFilter();
    } else {
        BeginCellEdit(point);
    }
    c_->SetWaitCursor(false);
}

void ControlDialog::OnLabelEdited(int listId, int row, const std::string& text) {
    if (listId != Id::FilterList) return;
    // One byte per character, so eight Cyrillic letters fill the controller's slot. A name
    // the rule of every front end refuses (a character the code page lacks, a control
    // character, more than eight characters) is refused whole rather than cut: nothing is sent
    // and the row keeps its name.
    const NameCheck check = CheckTypedName(NameKind::Filter, text);
    if (check.problem != NameProblem::None) {
        ShowWarning(NameRefusalMessage(NameKind::Filter, check));
        return;
    }
    device_->FWWRITENAME(row, check.bytes.c_str());
    // The list shows the name as typed until it is rebuilt from the table.
    if (row >= 0 && row < c_->ListRowCount(Id::FilterList)) c_->SetListCell(listId, row, 0, text);
}

}  // namespace kavri::ui
