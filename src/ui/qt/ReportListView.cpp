// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/ReportListView.h"

#include <QHeaderView>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include "ui/dialogs/DialogTemplate.h"

namespace kavri::ui {
namespace {

constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kTextHiddenRole = Qt::UserRole + 2;

// Hands the edited label to the list's LabelEdited signal instead of writing it into the row:
// the dialog decides what is stored and shown.
class LabelDelegate : public QStyledItemDelegate {
public:
    explicit LabelDelegate(ReportListView* list) : QStyledItemDelegate(list), list_(list) {}

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        const QByteArray property = editor->metaObject()->userProperty().name();
        const QString text = editor->property(property.constData()).toString();
        emit list_->LabelEdited(index.row(), text);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(kTextHiddenRole).toBool()) option->text.clear();
    }

private:
    ReportListView* list_;
};

}  // namespace

ReportListView::ReportListView(uint32_t style, QWidget* parent)
    : QTreeWidget(parent), style_(style) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setIconSize(QSize(16, 16));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode((style & Style::SingleSelection) != 0 ? QAbstractItemView::SingleSelection
                                                           : QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);
    header()->setSectionsClickable((style & Style::NoSortHeader) == 0);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    setFrameShape((style & Style::Border) != 0 ? QFrame::StyledPanel : QFrame::NoFrame);
    setTextElideMode(Qt::ElideRight);
    setWordWrap(false);
    setEditTriggers((style & Style::EditLabels) != 0
                        ? QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed
                        : QAbstractItemView::NoEditTriggers);
    setItemDelegate(new LabelDelegate(this));
}

QRect ReportListView::CellRect(int row, int column) const {
    if (row < 0 || row >= topLevelItemCount() || column < 0 || column >= columnCount()) return {};
    return visualRect(model()->index(row, column));
}

QString ReportListView::CellText(int row, int column) const {
    const QTreeWidgetItem* row_item = topLevelItem(row);
    return row_item != nullptr ? row_item->text(column) : QString();
}

int ReportListView::RowImage(int row) const {
    const QTreeWidgetItem* row_item = topLevelItem(row);
    if (row_item == nullptr) return -1;
    const QVariant image = row_item->data(0, kImageRole);
    return image.isValid() ? image.toInt() : -1;
}

void ReportListView::SetRowImage(int row, int image) {
    QTreeWidgetItem* row_item = topLevelItem(row);
    if (row_item == nullptr) return;
    row_item->setData(0, kImageRole, image);
    row_item->setIcon(0, image >= 0 && image < images_.size() ? images_[image] : QIcon());
}

void ReportListView::SetCellTextHidden(int row, int column, bool hidden) {
    QTreeWidgetItem* row_item = topLevelItem(row);
    if (row_item == nullptr) return;
    row_item->setData(column, kTextHiddenRole, hidden ? QVariant(true) : QVariant());
}

void ReportListView::EditLabel(int row) {
    if ((style_ & Style::EditLabels) == 0) return;
    QTreeWidgetItem* row_item = topLevelItem(row);
    if (row_item == nullptr) return;
    setCurrentItem(row_item, 0);
    QAbstractItemView::edit(model()->index(row, 0));
}

// Only the first column is a label; the other cells are never edited by the list itself.
bool ReportListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (index.column() != 0 || (style_ & Style::EditLabels) == 0) return false;
    return QTreeWidget::edit(index, trigger, event);
}

void ReportListView::mousePressEvent(QMouseEvent* event) {
    // A release that ended a double click elsewhere (over an editor) may never reach the
    // list; a new press starts afresh either way.
    afterDoubleClick_ = false;
    QTreeWidget::mousePressEvent(event);
}

void ReportListView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton) return;
    if (afterDoubleClick_) {
        afterDoubleClick_ = false;
        return;
    }
    emit Clicked(event->position().toPoint());
}

void ReportListView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QTreeWidget::mouseDoubleClickEvent(event);
        return;
    }
    DoubleClickAt(event->position().toPoint());
}

void ReportListView::DoubleClickAt(QPoint point) {
    afterDoubleClick_ = true;
    const QModelIndex index = indexAt(point);
    emit DoubleClicked(point, index.isValid() ? index.row() : -1);
}

void ReportListView::focusInEvent(QFocusEvent* event) {
    QTreeWidget::focusInEvent(event);
    emit FocusGained();
}

}  // namespace kavri::ui
