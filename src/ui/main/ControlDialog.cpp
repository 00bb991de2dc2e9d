#include "ui/main/ControlDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "device/WheelFocuserDevice.h"
#include "ui/common/DialogBuilder.h"
#include "ui/common/ReportListView.h"
#include "ui/common/RowIcons.h"
#include "ui/common/UpDownControl.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/main/ValueText.h"

namespace kavri::ui {

namespace Id = ControlIds;

ControlDialog::ControlDialog(WheelFocuserDevice* device, QWidget* parent)
    : QDialog(parent), device_(device), refreshTimer_(new QTimer(this)) {
    BuildDialog(*this, ControlDialogTemplate());
    portCombo_ = FindControlAs<QComboBox>(*this, Id::PortCombo);
    filterList_ = FindControlAs<ReportListView>(*this, Id::FilterList);
    positionBox_ = FindControlAs<QLineEdit>(*this, Id::PositionDisplay);
    minStepEdit_ = FindControlAs<QLineEdit>(*this, Id::MinStep);
    minStepSpin_ = FindControlAs<UpDownControl>(*this, Id::MinStepSpin);

    connect(FindControlAs<QPushButton>(*this, Id::Connect), &QPushButton::clicked, this,
            &ControlDialog::OnConnect);
    connect(FindControlAs<QPushButton>(*this, Id::Disconnect), &QPushButton::clicked, this,
            &ControlDialog::OnDisconnect);
    connect(FindControlAs<QPushButton>(*this, Id::Exit), &QPushButton::clicked, this,
            &ControlDialog::OnCancel);
    connect(filterList_, &ReportListView::Clicked, this,
            [this](QPoint point) { BeginCellEdit(point); });
    connect(filterList_, &ReportListView::DoubleClicked, this, &ControlDialog::OnListDoubleClick);
    connect(filterList_, &ReportListView::LabelEdited, this, &ControlDialog::OnLabelEdited);
    // Gaining the focus carries no point to edit at, so it opens no editor; a click that gives
    // the list the focus opens one through the click itself.
    connect(FindControlAs<UpDownControl>(*this, Id::FocuserSpin), &UpDownControl::DeltaPos, this,
            &ControlDialog::OnFocuserSpin);
    connect(minStepSpin_, &UpDownControl::DeltaPos, this, &ControlDialog::OnMinStepSpin);
    connect(minStepEdit_, &QLineEdit::textChanged, this, &ControlDialog::OnMinStepEdit);
    connect(FindControlAs<QPushButton>(*this, Id::Set), &QPushButton::clicked, this,
            &ControlDialog::OnSet);
    connect(FindControlAs<QPushButton>(*this, Id::Go), &QPushButton::clicked, this,
            &ControlDialog::OnGo);
    for (int k = 0; k < kThermometerSlots; ++k) {
        connect(FindControlAs<QCheckBox>(*this, Id::AutoBox0 + k), &QCheckBox::clicked, this,
                [this, k] { OnAutoBox(k); });
    }
    for (int k = 0; k < kThermometerSlots; ++k) {
        // A name the code page cannot hold is refused as soon as the field is left, not only
        // when the names are next taken over.
        connect(FindControlAs<QLineEdit>(*this, Id::ThermometerName0 + k),
                &QLineEdit::editingFinished, this, [this, k] {
                    std::string bytes;
                    ThermometerNameBytes(k, bytes);
                });
    }
    connect(refreshTimer_, &QTimer::timeout, this, &ControlDialog::OnTimer);
    ConnectSettingsCommands();

    // The keyboard rules see every key pressed in this dialog before the focused control does.
    qApp->installEventFilter(this);
    OnInitDialog();
}

ControlDialog::~ControlDialog() {
    qApp->removeEventFilter(this);
    // Destroying the window takes the focus from a name field, which would report the field
    // as left to a dialog that is no longer there.
    for (int k = 0; k < kThermometerSlots; ++k)
        FindControl(*this, Id::ThermometerName0 + k)->disconnect(this);
}

void ControlDialog::OnInitDialog() {
    portIndex_ = device_->settings.ComPort;
    UpdateData(false);
    rowIcons_ = LoadRowIcons();
    filterList_->SetImages(rowIcons_);
    CreateColumns();
    FillFilterList();
    minStepEdit_->setText(QString::number(device_->MinMotorStep));
    refreshTimer_->start(1000);
    if (device_->port != nullptr) positionBox_->setFocus();
}

void ControlDialog::CreateColumns() {
    filterList_->clear();
    filterList_->setColumnCount(4);
    filterList_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("#"),
                                  QStringLiteral("Correction"), QStringLiteral("Focus Shift")});
    const int w = (filterList_->contentsRect().width() - 40) / 3;
    filterList_->setColumnWidth(0, w);
    filterList_->setColumnWidth(1, 40);
    filterList_->setColumnWidth(2, w);
    filterList_->setColumnWidth(3, w);
}

void ControlDialog::UpdateData(bool save) {
    if (save) {
        // A port the list cannot show (no selection) keeps the stored number.
        if (portCombo_->currentIndex() >= 0) portIndex_ = portCombo_->currentIndex();
    } else {
        portCombo_->setCurrentIndex(portIndex_ >= 0 && portIndex_ < portCombo_->count() ? portIndex_
                                                                                        : -1);
    }
    for (int k = 0; k < kThermometerSlots; ++k) {
        if (save) {
            std::string bytes;
            if (ThermometerNameBytes(k, bytes)) device_->TermometerName[k] = bytes;
        } else {
            FindControlAs<QLineEdit>(*this, Id::ThermometerName0 + k)
                ->setText(NameText(device_->TermometerName[k]));
        }
    }

    const bool connected = device_->port != nullptr;
    const bool focuser = device_->focuserPresent;
    auto enable = [this](int id, bool on) { FindControl(*this, id)->setEnabled(on); };
    enable(Id::Connect, !connected);
    enable(Id::PortCombo, !connected);
    enable(Id::Disconnect, connected);
    enable(Id::Save, connected);
    enable(Id::Load, connected);
    for (int id : {Id::MinStep, Id::MinStepSpin, Id::FocuserSpin, Id::Go, Id::TargetPosition,
                   Id::Set, Id::FocuserSettings})
        enable(id, focuser);
    enable(Id::WheelSettings, device_->wheelPresent);
    for (int k = 0; k < kThermometerSlots; ++k) enable(Id::AutoBox0 + k, false);
}

// Thermometer names are kept as windows-1251 bytes like the filter names. Every stored byte
// string has a display form that encodes back to the same bytes, so writing the shown text back
// keeps names this program cannot have typed. A typed name the rule of every front end refuses
// is refused: the field shows the stored name again and the user is told.
bool ControlDialog::ThermometerNameBytes(int k, std::string& bytes) {
    auto* edit = FindControlAs<QLineEdit>(*this, Id::ThermometerName0 + k);
    const NameCheck check = CheckTypedName(NameKind::Thermometer, edit->text().toStdString(),
                                           device_->TermometerName[k]);
    if (check.problem == NameProblem::None) {
        bytes = check.bytes;
        return true;
    }
    edit->setText(NameText(device_->TermometerName[k]));
    ShowWarning(NameRefusalMessage(NameKind::Thermometer, check));
    return false;
}

void ControlDialog::OnConnect() {
    UpdateData(true);
    device_->settings.ComPort = portIndex_;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!device_->ConnectMulti(this)) {
        QApplication::restoreOverrideCursor();
        return;
    }
    portIndex_ = device_->settings.ComPort;
    UpdateData(false);
    FillFilterList();
    positionBox_->setFocus();
    QApplication::restoreOverrideCursor();
}

void ControlDialog::OnDisconnect() {
    UpdateData(true);
    device_->DisconnectMulti(this);
    if (device_->port == nullptr) filterList_->clear();
    UpdateData(false);
}

void ControlDialog::OnCancel() {
    UpdateData(true);
    device_->settings.ComPort = portIndex_;
    device_->DisconnectMulti(this);
    QDialog::reject();
}

void ControlDialog::OnOK() {
    device_->DisconnectMulti(this);
    QDialog::accept();
}

bool ControlDialog::eventFilter(QObject* watched, QEvent* event) {
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
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        if (PreTranslateKey(*static_cast<QKeyEvent*>(event))) return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool ControlDialog::PreTranslateKey(const QKeyEvent& key) {
    // Enter never presses a button: it connects while disconnected and is dropped otherwise,
    // so fields are committed by leaving them.
    if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) {
        if (device_->port == nullptr) OnConnect();
        return true;
    }
    const bool ctrl = (key.modifiers() & Qt::ControlModifier) != 0;
    if (!ctrl && focusWidget() != positionBox_) return false;

    const int n = static_cast<int>(device_->filters.size());
    const bool keypad = (key.modifiers() & Qt::KeypadModifier) != 0;
    if (!keypad && key.key() >= Qt::Key_0 && key.key() <= Qt::Key_9) {
        const int digit = key.key() - Qt::Key_0;
        if (digit >= n) return false;
        device_->SelectFilter(digit);
        return true;
    }
    const int current = device_->currentFilter;
    if ((key.key() == Qt::Key_Left || key.key() == Qt::Key_Right) && current >= 0 && n >= 1) {
        const int next = key.key() == Qt::Key_Left ? (current + n - 1) % n : (current + 1) % n;
        device_->SelectFilter(next);
        return true;
    }
    return false;
}

void ControlDialog::ShowWarning(const QString& text) {
    if (warn_) {
        warn_(text);
        return;
    }
    QMessageBox::warning(this, windowTitle(), text);
}

}  // namespace kavri::ui
