// The filter list of the main dialog: rows from the device's table, the current-filter icon,
// the editor over "Correction" and "Focus Shift" cells, the name editor and double-click
// selection.
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <algorithm>
#include <string>

#include "device/WheelFocuserDevice.h"
#include "ui/common/DialogBuilder.h"
#include "ui/common/ReportListView.h"
#include "ui/common/UpDownControl.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/main/ControlDialog.h"
#include "ui/main/ValueText.h"

namespace kavri::ui {
namespace {

constexpr int kCorrectionColumn = 2;
constexpr int kFocusShiftColumn = 3;
constexpr int kFocusShiftNone = 20000;
constexpr int kEditorInset = 5;  // the editor leaves this many pixels of the cell on each side

QString RowName(const FilterEntry& row) {
    return NameText(std::string_view(row.name, kFilterNameSize));
}

}  // namespace

void ControlDialog::FillFilterList() {
    filterList_->clear();
    const auto& filters = device_->filters;
    for (size_t i = 0; i < filters.size(); ++i) {
        const FilterEntry& row = filters[i];
        auto* item = new QTreeWidgetItem(filterList_);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        item->setText(0, RowName(row));
        item->setText(1, QString::number(i));
        item->setText(2, QString::number(row.wheelPosition));
        item->setText(3, FocusShiftText(row.focuserPosition));
        filterList_->SetRowImage(static_cast<int>(i),
                                 static_cast<int>(i) == device_->currentFilter ? 1 : 0);
    }
}

void ControlDialog::MarkCurrentFilter() {
    highlightedFilter_ = device_->currentFilter;
    for (int i = 0; i < filterList_->RowCount(); ++i)
        filterList_->SetRowImage(i, i == highlightedFilter_ ? 1 : 0);
}

bool ControlDialog::BeginCellEdit(QPoint point) {
    int row = -1;
    int column = -1;
    QRect cell;
    for (int i = 0; i < filterList_->RowCount() && row < 0; ++i) {
        for (int c : {kCorrectionColumn, kFocusShiftColumn}) {
            const QRect bounds = filterList_->CellRect(i, c);
            if (bounds.contains(point)) {
                row = i;
                column = c;
                cell = bounds;
                break;
            }
        }
    }
    if (row < 0) return false;

    EndCellEdit();
    editRow_ = row;
    editColumn_ = column;
    ShowEditedCell(false);

    QWidget* area = filterList_->viewport();
    const QRect editRect = cell.adjusted(kEditorInset, 0, -kEditorInset, 0);
    cellEditor_ = new QLineEdit(area);
    SetControlId(cellEditor_, ControlIds::CellEditor);
    cellEditor_->setGeometry(editRect);
    cellSpin_ = new UpDownControl(Style::ArrowKeys | Style::AlignRight | Style::SetBuddyInt, area);
    SetControlId(cellSpin_, ControlIds::CellSpin);
    cellSpin_->setGeometry(editRect.right() + 1 - cell.height(), editRect.top(), cell.height(),
                           editRect.height());
    cellSpin_->SetBuddy(cellEditor_);
    cellSpin_->SetRange(-1000, 1000);
    cellEditor_->setFont(filterList_->font());
    cellEditor_->show();
    cellSpin_->show();
    cellEditor_->setText(filterList_->CellText(row, column));
    cellEditor_->setFocus();
    editorReleased_ = false;
    return true;
}

// The editor opens at the first click of a double click, so the rest of that double click
// arrives at the editor or its arrows. A double click there before any button went up over
// them began outside, with the click that opened the editor: it selects the row's filter like
// a double click anywhere else in the row, and the editor closes unstored (a second press on
// an arrow may already have stepped its number). A later double click in the editor is the
// user's own, selecting text.
bool ControlDialog::CellEditorMouseEvent(QWidget* widget, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        editorReleased_ = true;
        return false;
    }
    if (event->type() != QEvent::MouseButtonDblClick || editorReleased_) return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton) return false;
    const QPoint point = widget->mapTo(filterList_->viewport(), mouse->position().toPoint());
    DiscardCellEdit();
    filterList_->DoubleClickAt(point);
    return true;
}

void ControlDialog::DiscardCellEdit() {
    // Deleted later: the editor may be the receiver of the event being handled.
    for (QWidget* widget : {static_cast<QWidget*>(cellSpin_), static_cast<QWidget*>(cellEditor_)}) {
        if (widget == nullptr) continue;
        widget->hide();
        widget->deleteLater();
    }
    cellSpin_ = nullptr;
    cellEditor_ = nullptr;
    ShowEditedCell(true);
}

// The editor leaves a strip of the cell free on either side; the cell's own text is hidden
// meanwhile so it does not peek out beside the number being edited.
void ControlDialog::ShowEditedCell(bool shown) {
    filterList_->SetCellTextHidden(editRow_, editColumn_, !shown);
}

bool ControlDialog::CellEditorOpen() const {
    return cellEditor_ != nullptr;
}

void ControlDialog::EndCellEdit() {
    if (cellEditor_ == nullptr) return;
    delete cellSpin_.data();
    const QString text = cellEditor_->text();
    delete cellEditor_.data();
    ShowEditedCell(true);

    // The table may have shrunk at a probe since the editor opened: the edit has no row then.
    if (editRow_ < 0 || static_cast<size_t>(editRow_) >= device_->filters.size()) return;
    FilterEntry& row = device_->filters[static_cast<size_t>(editRow_)];

    // "none" (any text with an N) clears a focus shift. Anything else must be a whole number:
    // a slip of the keyboard read as 0 would move the wheel or the focuser to a position
    // nobody chose, so it is refused and the cell keeps its value.
    int64_t value = 0;
    if (editColumn_ == kFocusShiftColumn && text.contains(QLatin1Char('N'), Qt::CaseInsensitive)) {
        value = kFocusShiftNone;
    } else if (!ParseInteger(text, true, value)) {
        ShowWarning(QStringLiteral("«%1» не является целым числом.\nЯчейка не изменена.")
                        .arg(text.trimmed()));
        return;
    }
    // The controller keeps positions in 16 bits: a larger number would be stored cut to
    // another position, so it is refused and the cell keeps its value.
    if (!FitsControllerRange(value)) {
        ShowWarning(QStringLiteral("Значение %1 вне диапазона от -32768 до 32767.\n"
                                   "Ячейка не изменена.")
                        .arg(text.trimmed()));
        return;
    }
    int32_t& field = editColumn_ == kCorrectionColumn ? row.wheelPosition : row.focuserPosition;
    if (value == field) return;
    field = static_cast<int32_t>(value);

    FillFilterList();
    device_->WriteFilterTable();
    // A new wheel position of the filter in the light path takes effect only by going there.
    if (editColumn_ == kCorrectionColumn && editRow_ == device_->currentFilter)
        device_->SelectFilter(device_->currentFilter);
}

void ControlDialog::OnListDoubleClick(QPoint point, int row) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (row >= 0) {
        if (device_->SelectFilter(row)) MarkCurrentFilter();
    } else {
        BeginCellEdit(point);
    }
    QApplication::restoreOverrideCursor();
}

void ControlDialog::OnLabelEdited(int row, const QString& text) {
    // One byte per character, so eight Cyrillic letters fill the controller's slot. A name
    // the rule of every front end refuses (a character the code page lacks, a control
    // character, more than eight characters) is refused whole rather than cut: nothing is sent
    // and the row keeps its name.
    const NameCheck check = CheckTypedName(NameKind::Filter, text.toStdString());
    if (check.problem != NameProblem::None) {
        ShowWarning(NameRefusalMessage(NameKind::Filter, check));
        return;
    }
    device_->FWWRITENAME(row, check.bytes.c_str());
    // The list shows the name as typed until it is rebuilt from the table.
    if (QTreeWidgetItem* item = filterList_->topLevelItem(row)) item->setText(0, text);
}

}  // namespace kavri::ui
