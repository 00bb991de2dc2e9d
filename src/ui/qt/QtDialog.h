// SPDX-License-Identifier: GPL-3.0-or-later
// A dialog of the Qt front end: the widgets built from a DialogTemplate, driven by a neutral
// behaviour (DialogEvents) through the DialogControls it implements over them. Clicks, typing,
// arrows, list clicks, keys, timer ticks and painting are reported to the behaviour by control
// id; the cell editor over a report list is this class's own pair of widgets.
#pragma once

#include <QDialog>
#include <QPointer>
#include <map>

#include "ui/dialogs/DialogControls.h"
#include "ui/dialogs/DialogEvents.h"
#include "ui/qt/DialogBuilder.h"

class QLineEdit;
class QTimer;

namespace kavri::ui {

class ReportListView;
class UpDownControl;

class QtDialog final : public QDialog, public DialogControls {
    Q_OBJECT
public:
    // Builds the dialog and runs the behaviour's OnInitDialog; `events` must outlive it.
    QtDialog(const DialogTemplate& tmpl, DialogEvents& events, QWidget* parent = nullptr);
    ~QtDialog() override;

    // Runs the dialog modally: 1 when it ended accepted, 2 otherwise.
    int Run();

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

public slots:
    // Escape and the window's close box arrive here: reported as the cancel command, as a
    // call of accept() is reported as the accept command. The behaviour ends the dialog.
    void accept() override;
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void ConnectControls();
    QWidget* Control(int id) const;
    ReportListView* List(int id) const;
    // Mouse events on the cell editor and its arrows; true when consumed.
    bool CellEditorMouseEvent(QWidget* widget, QEvent* event);
    // Closes the cell editor without giving its text (it may be handling the current event).
    void DiscardCellEditor();
    void ShowEditedCell(bool shown);

    DialogEvents* events_;
    std::map<int, QWidget*> controls_;
    std::map<int, QTimer*> timers_;
    bool painting_ = false;
    int waitCursors_ = 0;

    QPointer<QLineEdit> cellEditor_;
    QPointer<UpDownControl> cellSpin_;
    QPointer<ReportListView> editList_;
    int editRow_ = -1;
    int editColumn_ = -1;
    bool editorReleased_ = false;  // a mouse button went up over the open editor
};

}  // namespace kavri::ui
