// The focuser panel of the main dialog and the once-a-second refresh of the panel and the
// filter list.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

#include "device/WheelFocuserDevice.h"
#include "transport/SerialPort.h"
#include "ui/common/DialogBuilder.h"
#include "ui/common/ReportListView.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/main/ControlDialog.h"
#include "ui/main/ValueText.h"

namespace kavri::ui {

namespace Id = ControlIds;

namespace {
constexpr int kMinStepLowest = 1;
constexpr int kMinStepHighest = 200;
}  // namespace

void ControlDialog::OnTimer() {
    const bool present = device_->focuserPresent || device_->wheelPresent;
    if (present && !device_->busy && refreshEnabled_) {
        if (device_->focuserPresent) {
            const int count = std::min<int>(device_->config.thermometerCount, kThermometerSlots);
            for (int k = 0; k < count; ++k) {
                float degrees = 0;
                const bool ok = device_->FWtemperature(k, degrees);
                FindControl(*this, Id::AutoBox0 + k)->setEnabled(ok);
                FindControlAs<QLineEdit>(*this, Id::Temperature0 + k)
                    ->setText(ok ? QString::asprintf("%.2f", degrees) : QString());
            }
            int32_t active = -1;
            if (device_->FWisAuto(active)) autoIndex_ = active;
            ShowAutoStates();
            int32_t position = 0;
            positionBox_->setText(device_->GetPosition(position) ? QString::number(position)
                                                                 : QStringLiteral("???"));
            int32_t direction = 0;
            const bool known = device_->FWdirFocus(direction);
            FindControlAs<QLabel>(*this, Id::Direction)
                ->setText(!known          ? QStringLiteral(" ")
                          : direction > 0 ? QStringLiteral("U")
                                          : QStringLiteral("D"));
        }
        int32_t filter = -1;
        const bool wheelAnswers = device_->wheelPresent && device_->GetFilter(filter);
        filterList_->setEnabled(wheelAnswers);
        if (wheelAnswers && filter != highlightedFilter_) MarkCurrentFilter();
        // A line whose other end is gone (USB adapter unplugged) answers nothing ever again.
        if (PortHungUp(device_->port) &&
            device_->Clients().count(reinterpret_cast<uintptr_t>(this)) != 0)
            OnHangUp();
    }
    // An editor the user has left is closed and stored, whatever the device is doing; so is
    // one whose program the user has left for another window, where the dialog's own focus
    // widget is still the editor.
    if (CellEditorOpen() && QApplication::focusWidget() != static_cast<QWidget*>(cellEditor_))
        EndCellEdit();
}

// The dialog leaves the connection as its Disconnect button would, so the window no longer
// claims a controller and the user can connect again; the user is told once, as the dialog is
// no longer a client afterwards.
void ControlDialog::OnHangUp() {
    OnDisconnect();
    ShowWarning(
        QStringLiteral("Связь с контроллером потеряна: порт отключён.\n"
                       "Подключитесь снова, когда контроллер вернётся."));
}

void ControlDialog::ShowAutoStates() {
    for (int k = 0; k < kThermometerSlots; ++k) {
        Qt::CheckState state = Qt::PartiallyChecked;
        if (k == autoIndex_) {
            state = Qt::Checked;
        } else if (k == device_->settings.AscomPreferredTermometer) {
            state = Qt::Unchecked;
        }
        FindControlAs<QCheckBox>(*this, Id::AutoBox0 + k)->setCheckState(state);
    }
}

// A click toggles compensation on the clicked thermometer, which becomes the preferred one.
void ControlDialog::OnAutoBox(int thermometer) {
    const auto* box = FindControlAs<QCheckBox>(*this, Id::AutoBox0 + thermometer);
    const bool running = box->checkState() == Qt::Checked;
    device_->settings.AscomPreferredTermometer = thermometer;
    const int selector = running ? -1 : thermometer;
    if (selector != autoIndex_) {
        autoIndex_ = selector;
        device_->FWautoCompSet(selector);
    }
    ShowAutoStates();
}

// The arrows' range runs backwards, so the up arrow reports −1 and raises the focuser.
void ControlDialog::OnFocuserSpin(int delta) {
    const int64_t target =
        int64_t{device_->focuserPosition} - int64_t{device_->MinMotorStep} * delta;
    if (CheckFocuserTarget(target)) device_->MoveTo(static_cast<int32_t>(target));
    positionBox_->setText(QString::number(device_->focuserPosition));
}

void ControlDialog::OnMinStepSpin(int delta) {
    const int64_t step = int64_t{device_->MinMotorStep} - delta;
    device_->MinMotorStep =
        static_cast<int32_t>(std::clamp<int64_t>(step, kMinStepLowest, kMinStepHighest));
    minStepEdit_->setText(QString::number(device_->MinMotorStep));
}

// Taken as typed, unclamped, until the arrows are used; what is no number gives 0.
void ControlDialog::OnMinStepEdit() {
    int64_t step = 0;
    if (!ParseInteger(minStepEdit_->text(), false, step) || step > INT32_MAX) step = 0;
    device_->MinMotorStep = static_cast<int32_t>(step);
}

void ControlDialog::OnSet() {
    int32_t target = 0;
    if (TargetFromBox(target)) device_->SetPosition(target);
}

void ControlDialog::OnGo() {
    int32_t target = 0;
    if (!TargetFromBox(target)) return;  // told before the wait cursor comes up
    QApplication::setOverrideCursor(Qt::WaitCursor);
    device_->MoveTo(target);
    QApplication::restoreOverrideCursor();
}

// Only a whole number is a position: an empty box or a typing slip ("1500q") would otherwise
// read as 0 and drive the focuser to the end of its travel, so it is refused and nothing sent.
bool ControlDialog::TargetFromBox(int32_t& target) {
    const QString text = FindControlAs<QLineEdit>(*this, Id::TargetPosition)->text().trimmed();
    int64_t value = 0;
    if (!ParseInteger(text, true, value)) {
        ShowWarning((text.isEmpty() ? QStringLiteral("Введите позицию фокусера: целое число.")
                                    : QStringLiteral("«%1» не является целым числом.").arg(text)) +
                    QStringLiteral("\nКонтроллеру ничего не отправлено."));
        return false;
    }
    if (!CheckFocuserTarget(value)) return false;
    target = static_cast<int32_t>(value);
    return true;
}

// The controller counts focuser positions in 16 bits: a position beyond them would arrive cut
// to another one and send the focuser somewhere else, so it is not sent at all.
bool ControlDialog::CheckFocuserTarget(int64_t target) {
    if (FitsControllerRange(target)) return true;
    ShowWarning(QStringLiteral("Позиция %1 вне диапазона от -32768 до 32767.\n"
                               "Контроллеру ничего не отправлено.")
                    .arg(target));
    return false;
}

}  // namespace kavri::ui
