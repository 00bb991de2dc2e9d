// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/QtDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "ui/dialogs/SettingsTemplates.h"
#include "ui/qt/ReportListView.h"
#include "ui/qt/RowIcons.h"
#include "ui/qt/UpDownControl.h"
#include "ui/qt/UserPrompts.h"

namespace kavri::ui {

namespace {

constexpr int kEditorInset = 5;  // the cell editor leaves this many pixels of the cell each side

// Height of the microstep dialog's level-curve band in dialog units, shrink margins included.
constexpr int kCurveBandHeight = 54;

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

Rect ToRect(const QRect& r) {
    return r.isEmpty() ? Rect{} : Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

QRect ToQRect(const CurveRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// The keys the behaviours tell apart; the numeric keypad's digits are no digits here.
KeyPress ToKeyPress(const QKeyEvent& event) {
    KeyPress press;
    press.ctrl = (event.modifiers() & Qt::ControlModifier) != 0;
    const bool keypad = (event.modifiers() & Qt::KeypadModifier) != 0;
    const int key = event.key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        press.key = Key::Enter;
    } else if (key == Qt::Key_Escape) {
        press.key = Key::Escape;
    } else if (key == Qt::Key_Left) {
        press.key = Key::Left;
    } else if (key == Qt::Key_Right) {
        press.key = Key::Right;
    } else if (key == Qt::Key_Up) {
        press.key = Key::Up;
    } else if (key == Qt::Key_Down) {
        press.key = Key::Down;
    } else if (!keypad && key >= Qt::Key_0 && key <= Qt::Key_9) {
        press.key = Key::Digit;
        press.digit = key - Qt::Key_0;
    }
    return press;
}

// The curve band of the microstep dialog: the current-path square is as wide as the dialog,
// and the level curve gets what is left between the text field and the square. A font that is
// wide for its height makes the dialog relatively wider and would squeeze the curve into a
// sliver, so the dialog grows until the band is as high as the layout intends.
void KeepCurveBand(QDialog& dialog, const DialogUnits& units) {
    const QWidget* field = FindControl(dialog, microstep_ids::kTableEdit);
    if (field == nullptr) return;
    const int wanted = field->geometry().bottom() + 1 + units.Y(kCurveBandHeight) + dialog.width();
    if (dialog.height() < wanted) dialog.setFixedSize(dialog.width(), wanted);
}

}  // namespace

QtDialog::QtDialog(const DialogTemplate& tmpl, DialogEvents& events, QWidget* parent)
    : QDialog(parent), events_(&events) {
    const DialogUnits units = BuildDialog(*this, tmpl);
    if (tmpl.id == MicrostepTableTemplate().id) KeepCurveBand(*this, units);
    for (const ControlTemplate& c : tmpl.controls) {
        if (c.id == kNoControlId) continue;
        if (QWidget* widget = FindControl(*this, c.id)) controls_[c.id] = widget;
    }
    ConnectControls();
    // Every key pressed in this dialog is offered to the behaviour before the focused control
    // sees it; mouse buttons on the cell editor are looked at here too.
    qApp->installEventFilter(this);
    events_->OnInitDialog(*this);
}

QtDialog::~QtDialog() {
    qApp->removeEventFilter(this);
    // Destroying the window takes the focus from an edit, which would report the edit as left
    // to a behaviour that may be gone.
    events_ = nullptr;
    for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
    while (waitCursors_ > 0) SetWaitCursor(false);
}

void QtDialog::ConnectControls() {
    auto report = [this](auto&& call) {
        if (events_ != nullptr) call(*events_);
    };
    for (const auto& [id, widget] : controls_) {
        const int control = id;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            connect(button, &QAbstractButton::clicked, this,
                    [=] { report([&](DialogEvents& e) { e.OnCommand(control); }); });
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            connect(edit, &QLineEdit::textChanged, this,
                    [=] { report([&](DialogEvents& e) { e.OnTextChanged(control); }); });
            connect(edit, &QLineEdit::editingFinished, this,
                    [=] { report([&](DialogEvents& e) { e.OnFocusLeft(control); }); });
        } else if (auto* text = qobject_cast<QPlainTextEdit*>(widget)) {
            connect(text, &QPlainTextEdit::textChanged, this,
                    [=] { report([&](DialogEvents& e) { e.OnTextChanged(control); }); });
        } else if (auto* spin = qobject_cast<UpDownControl*>(widget)) {
            connect(spin, &UpDownControl::DeltaPos, this,
                    [=](int delta) { report([&](DialogEvents& e) { e.OnSpin(control, delta); }); });
        } else if (auto* list = qobject_cast<ReportListView*>(widget)) {
            connect(list, &ReportListView::Clicked, this, [=](QPoint p) {
                report([&](DialogEvents& e) { e.OnListClick(control, {p.x(), p.y()}); });
            });
            connect(list, &ReportListView::DoubleClicked, this, [=](QPoint p, int row) {
                report([&](DialogEvents& e) { e.OnListDoubleClick(control, {p.x(), p.y()}, row); });
            });
            connect(list, &ReportListView::LabelEdited, this, [=](int row, const QString& label) {
                report([&](DialogEvents& e) { e.OnLabelEdited(control, row, label.toStdString()); });
            });
        }
    }
}

int QtDialog::Run() {
    return exec() == QDialog::Accepted ? kAcceptCommand : kCancelCommand;
}

void QtDialog::accept() {
    if (events_ != nullptr) events_->OnCommand(kAcceptCommand);
}

void QtDialog::reject() {
    if (events_ != nullptr) events_->OnCommand(kCancelCommand);
}

void QtDialog::EndDialog(int result) {
    if (result == kAcceptCommand) {
        QDialog::accept();
    } else {
        QDialog::reject();
    }
}

int QtDialog::RunModal(const DialogTemplate& tmpl, DialogEvents& events) {
    QtDialog dialog(tmpl, events, this);
    return dialog.Run();
}

QWidget* QtDialog::Control(int id) const {
    if (const auto found = controls_.find(id); found != controls_.end()) return found->second;
    if (cellEditor_ != nullptr && ControlId(cellEditor_) == id) return cellEditor_;
    if (cellSpin_ != nullptr && ControlId(cellSpin_) == id) return cellSpin_;
    return nullptr;
}

ReportListView* QtDialog::List(int id) const {
    return qobject_cast<ReportListView*>(Control(id));
}

void QtDialog::SetText(int id, std::string_view text) {
    QWidget* widget = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(ToQString(text));
    } else if (auto* field = qobject_cast<QPlainTextEdit*>(widget)) {
        field->setPlainText(ToQString(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(ToQString(text));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(ToQString(text));
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(ToQString(text));
    }
}

std::string QtDialog::Text(int id) const {
    QWidget* widget = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text().toStdString();
    if (auto* field = qobject_cast<QPlainTextEdit*>(widget))
        return field->toPlainText().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text().toStdString();
    if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title().toStdString();
    return {};
}

void QtDialog::SelectText(int id) {
    QWidget* widget = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->selectAll();
    if (auto* field = qobject_cast<QPlainTextEdit*>(widget)) field->selectAll();
}

void QtDialog::Enable(int id, bool enabled) {
    if (QWidget* widget = Control(id)) widget->setEnabled(enabled);
}

void QtDialog::SetCheck(int id, CheckState state) {
    auto* box = qobject_cast<QCheckBox*>(Control(id));
    if (box == nullptr) return;
    box->setCheckState(state == CheckState::Checked         ? Qt::Checked
                       : state == CheckState::Indeterminate ? Qt::PartiallyChecked
                                                            : Qt::Unchecked);
}

CheckState QtDialog::Check(int id) const {
    const auto* box = qobject_cast<QCheckBox*>(Control(id));
    if (box == nullptr) return CheckState::Clear;
    switch (box->checkState()) {
        case Qt::Checked: return CheckState::Checked;
        case Qt::PartiallyChecked: return CheckState::Indeterminate;
        default: return CheckState::Clear;
    }
}

void QtDialog::SetComboItems(int id, const std::vector<std::string>& items) {
    auto* combo = qobject_cast<QComboBox*>(Control(id));
    if (combo == nullptr) return;
    combo->clear();
    for (const std::string& item : items) combo->addItem(ToQString(item));
}

void QtDialog::SelectComboItem(int id, int index) {
    if (auto* combo = qobject_cast<QComboBox*>(Control(id))) combo->setCurrentIndex(index);
}

int QtDialog::ComboSelection(int id) const {
    const auto* combo = qobject_cast<QComboBox*>(Control(id));
    return combo != nullptr ? combo->currentIndex() : -1;
}

void QtDialog::SetSpinRange(int id, int lower, int upper) {
    if (auto* spin = qobject_cast<UpDownControl*>(Control(id))) spin->SetRange(lower, upper);
}

void QtDialog::SetListImages(int listId, int bitmapId, int size, unsigned transparent) {
    ReportListView* list = List(listId);
    if (list == nullptr) return;
    list->SetImages(LoadImageStrip(QStringLiteral(":/kavri/bitmap/%1.bmp").arg(bitmapId), size,
                                   QColor::fromRgb(static_cast<QRgb>(transparent))));
}

void QtDialog::SetListColumns(int listId, const std::vector<ListColumn>& columns) {
    ReportListView* list = List(listId);
    if (list == nullptr) return;
    list->clear();
    list->setColumnCount(static_cast<int>(columns.size()));
    QStringList headings;
    for (const ListColumn& column : columns) headings << ToQString(column.heading);
    list->setHeaderLabels(headings);
    for (size_t i = 0; i < columns.size(); ++i)
        list->setColumnWidth(static_cast<int>(i), columns[i].width);
}

int QtDialog::ListClientWidth(int listId) const {
    const ReportListView* list = List(listId);
    return list != nullptr ? list->contentsRect().width() : 0;
}

void QtDialog::ClearList(int listId) {
    if (ReportListView* list = List(listId)) list->clear();
}

void QtDialog::AddListRow(int listId, const std::vector<std::string>& cells, int image) {
    ReportListView* list = List(listId);
    if (list == nullptr) return;
    auto* item = new QTreeWidgetItem(list);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    for (size_t i = 0; i < cells.size(); ++i) item->setText(static_cast<int>(i), ToQString(cells[i]));
    if (image >= 0) list->SetRowImage(list->RowCount() - 1, image);
}

int QtDialog::ListRowCount(int listId) const {
    const ReportListView* list = List(listId);
    return list != nullptr ? list->RowCount() : 0;
}

void QtDialog::SetListCell(int listId, int row, int column, std::string_view text) {
    ReportListView* list = List(listId);
    if (QTreeWidgetItem* item = list != nullptr ? list->topLevelItem(row) : nullptr)
        item->setText(column, ToQString(text));
}

std::string QtDialog::ListCell(int listId, int row, int column) const {
    const ReportListView* list = List(listId);
    return list != nullptr ? list->CellText(row, column).toStdString() : std::string();
}

void QtDialog::SetRowImage(int listId, int row, int image) {
    if (ReportListView* list = List(listId)) list->SetRowImage(row, image);
}

Rect QtDialog::CellRect(int listId, int row, int column) const {
    const ReportListView* list = List(listId);
    return list != nullptr ? ToRect(list->CellRect(row, column)) : Rect{};
}

void QtDialog::OpenCellEditor(const CellEditorRequest& request) {
    ReportListView* list = List(request.listId);
    if (list == nullptr) return;
    const QRect cell = list->CellRect(request.row, request.column);
    if (cell.isEmpty()) return;
    CloseCellEditor();
    editList_ = list;
    editRow_ = request.row;
    editColumn_ = request.column;
    ShowEditedCell(false);

    QWidget* area = list->viewport();
    const QRect editRect = cell.adjusted(kEditorInset, 0, -kEditorInset, 0);
    cellEditor_ = new QLineEdit(area);
    SetControlId(cellEditor_, request.editId);
    cellEditor_->setGeometry(editRect);
    cellSpin_ = new UpDownControl(Style::ArrowKeys | Style::AlignRight | Style::SetBuddyInt, area);
    SetControlId(cellSpin_, request.spinId);
    cellSpin_->setGeometry(editRect.right() + 1 - cell.height(), editRect.top(), cell.height(),
                           editRect.height());
    cellSpin_->SetBuddy(cellEditor_);
    cellSpin_->SetRange(request.lower, request.upper);
    cellEditor_->setFont(list->font());
    cellEditor_->show();
    cellSpin_->show();
    cellEditor_->setText(ToQString(request.text));
    cellEditor_->setFocus();
    editorReleased_ = false;
}

bool QtDialog::CellEditorOpen() const {
    return cellEditor_ != nullptr;
}

std::optional<std::string> QtDialog::CloseCellEditor() {
    if (cellEditor_ == nullptr) return std::nullopt;
    delete cellSpin_.data();
    const std::string text = cellEditor_->text().toStdString();
    delete cellEditor_.data();
    ShowEditedCell(true);
    return text;
}

// The editor opens at the first click of a double click, so the rest of that double click
// arrives at the editor or its arrows. A double click there before any button went up over
// them began outside, with the click that opened the editor: it is reported as a double click
// on the list at that point, and the editor closes unstored (a second press on an arrow may
// already have stepped its number). A later double click in the editor is the user's own,
// selecting text.
bool QtDialog::CellEditorMouseEvent(QWidget* widget, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        editorReleased_ = true;
        return false;
    }
    if (event->type() != QEvent::MouseButtonDblClick || editorReleased_) return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton || editList_ == nullptr) return false;
    ReportListView* list = editList_;
    const QPoint point = widget->mapTo(list->viewport(), mouse->position().toPoint());
    DiscardCellEditor();
    list->DoubleClickAt(point);
    return true;
}

void QtDialog::DiscardCellEditor() {
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
void QtDialog::ShowEditedCell(bool shown) {
    if (editList_ != nullptr) editList_->SetCellTextHidden(editRow_, editColumn_, !shown);
}

void QtDialog::SetFocus(int id) {
    if (QWidget* widget = Control(id)) widget->setFocus();
}

int QtDialog::FocusedControl() const {
    for (const QWidget* widget = QApplication::focusWidget(); widget != nullptr && widget != this;
         widget = widget->parentWidget()) {
        if (widget->window() != this) return -1;
        if (const int id = ControlId(widget); id != kNoControlId) return id;
    }
    return -1;
}

void QtDialog::StartTimer(int timerId, int periodMs) {
    QTimer*& timer = timers_[timerId];
    if (timer == nullptr) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, timerId] {
            if (events_ != nullptr) events_->OnTimer(timerId);
        });
    }
    timer->start(periodMs);
}

void QtDialog::StopTimer(int timerId) {
    if (const auto found = timers_.find(timerId); found != timers_.end()) found->second->stop();
}

void QtDialog::ShowMessage(std::string_view text, std::string_view caption, MessageStyle style) {
    kavri::ui::ShowMessage({this, ToQString(text), ToQString(caption),
                            style == MessageStyle::Warning ? MessageIcon::Warning
                                                           : MessageIcon::None});
}

std::optional<std::string> QtDialog::ChooseFile(FileChoice choice, const FileType& type) {
    const QString path = AskFileName(
        {this, choice == FileChoice::Save ? FileDialogMode::Save : FileDialogMode::Open,
         ToQString(type.description), ToQString(type.defaultSuffix)});
    if (path.isEmpty()) return std::nullopt;
    return QFile::encodeName(path).toStdString();
}

void QtDialog::SetWaitCursor(bool on) {
    if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++waitCursors_;
    } else if (waitCursors_ > 0) {
        QApplication::restoreOverrideCursor();
        --waitCursors_;
    }
}

Rect QtDialog::ClientRect() const {
    return ToRect(rect());
}

Rect QtDialog::ControlRect(int id) const {
    const QWidget* widget = Control(id);
    if (widget == nullptr) return {};
    return ToRect(QRect(widget->mapTo(this, QPoint(0, 0)), widget->size()));
}

void QtDialog::Redraw() {
    update();
}

void QtDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    painting_ = true;
    if (events_ != nullptr) events_->OnPaint();
    painting_ = false;
}

void QtDialog::DrawCurve(const MicrostepFigures& figures) {
    if (!painting_) return;
    QPainter painter(this);
    painter.fillRect(ToQRect(figures.square), Qt::white);
    painter.fillRect(ToQRect(figures.band), Qt::white);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);

    QPainterPath path;
    if (!figures.levelCurve.empty()) {
        path.moveTo(figures.levelCurve.front().x, figures.levelCurve.front().y);
        for (std::size_t i = 1; i < figures.levelCurve.size(); ++i)
            path.lineTo(figures.levelCurve[i].x, figures.levelCurve[i].y);
    }
    for (std::size_t i = 0; i + 2 < figures.currentPath.size(); i += 3) {
        path.moveTo(figures.currentPath[i].x, figures.currentPath[i].y);
        path.lineTo(figures.currentPath[i + 1].x, figures.currentPath[i + 1].y);
        path.lineTo(figures.currentPath[i + 2].x, figures.currentPath[i + 2].y);
    }
    painter.drawPath(path);
}

bool QtDialog::eventFilter(QObject* watched, QEvent* event) {
    // Only mouse buttons matter to the cell editor; other events also arrive while its
    // widgets are being destroyed, when they must not be looked at.
    const bool button =
        event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick;
    if (button && cellEditor_ != nullptr && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if ((widget == cellEditor_ ||
             (cellSpin_ != nullptr && (widget == cellSpin_ || cellSpin_->isAncestorOf(widget)))) &&
            CellEditorMouseEvent(widget, event))
            return true;
    }
    if (event->type() == QEvent::KeyPress && events_ != nullptr && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        if (events_->OnKey(ToKeyPress(*static_cast<QKeyEvent*>(event)))) return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kavri::ui
