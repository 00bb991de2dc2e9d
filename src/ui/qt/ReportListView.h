// SPDX-License-Identifier: GPL-3.0-or-later
// A list of rows and columns with an icon in the first column, reporting clicks, double clicks,
// the gain of focus and the end of label editing to its dialog, which decides what they do.
// The first column's text can be edited in place (Style::EditLabels); the edited text is not
// stored by the list but handed to the dialog through LabelEdited.
#pragma once

#include <QTreeWidget>
#include <cstdint>

namespace kavri::ui {

class ReportListView : public QTreeWidget {
    Q_OBJECT
public:
    // `style`: the Style::SingleSelection ... Style::Border flags of DialogTemplate.h.
    explicit ReportListView(uint32_t style, QWidget* parent = nullptr);

    // Bounds of a cell in viewport coordinates; empty when the cell does not exist.
    QRect CellRect(int row, int column) const;
    int RowCount() const { return topLevelItemCount(); }
    QString CellText(int row, int column) const;
    // The icon number last given to a row's first column, -1 when it has none.
    int RowImage(int row) const;
    void SetRowImage(int row, int image);
    void SetImages(const QList<QIcon>& images) { images_ = images; }
    // Leaves a cell's text undrawn (CellText still gives it), e.g. beneath an editor.
    void SetCellTextHidden(int row, int column, bool hidden);
    // Opens the label editor on a row's first column, as a click on a selected label does.
    void EditLabel(int row);
    // A double click at `point` (viewport coordinates) that arrived at a widget laid over the
    // list, such as an editor opened by the double click's first click: reported as
    // DoubleClicked, and the release that ends it is no click.
    void DoubleClickAt(QPoint point);

signals:
    void Clicked(QPoint point);                 // viewport coordinates
    void DoubleClicked(QPoint point, int row);  // row -1 when the point names no row
    void FocusGained();
    void LabelEdited(int row, const QString& text);  // not sent when editing is cancelled

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    uint32_t style_;
    QList<QIcon> images_;
    bool afterDoubleClick_ = false;  // the release that ends a double click is no click
};

}  // namespace kavri::ui
