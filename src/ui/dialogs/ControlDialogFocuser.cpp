// SPDX-License-Identifier: GPL-3.0-or-later
// The focuser panel of the main dialog and the once-a-second refresh of the panel and the
// filter list.
#include <algorithm>
#include <cstdint>

#include "device/CommandExchange.h"
#include "device/WheelFocuserDevice.h"
#include "transport/SerialPort.h"
#include "ui/dialogs/ControlDialog.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/dialogs/ValueText.h"

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
                c_->Enable(Id::AutoBox0 + k, ok);
                c_->SetText(Id::Temperature0 + k, ok ? TemperatureText(degrees) : std::string());
            }
            int32_t active = -1;
            if (device_->FWisAuto(active)) autoIndex_ = active;
            ShowAutoStates();
            int32_t position = 0;
            c_->SetText(Id::PositionDisplay,
                        device_->GetPosition(position) ? std::to_string(position) : "???");
            int32_t direction = 0;
            const bool known = device_->FWdirFocus(direction);
            c_->SetText(Id::Direction, !known ? " " : direction > 0 ? "U" : "D");
        }
        int32_t filter = -1;
        const bool wheelAnswers = device_->wheelPresent && device_->GetFilter(filter);
        c_->Enable(Id::FilterList, wheelAnswers);
        if (wheelAnswers && filter != highlightedFilter_) MarkCurrentFilter();
        // A line whose other end is gone (USB adapter unplugged) answers nothing ever again.
        if (PortHungUp(device_->port) &&
            device_->Clients().count(reinterpret_cast<uintptr_t>(this)) != 0)
            OnHangUp();
    }
    // An editor the user has left is closed and stored, whatever the device is doing; so is
    // one whose program the user has left for another window.
    if (c_->CellEditorOpen() && c_->FocusedControl() != Id::CellEditor) EndCellEdit();
}

// The dialog leaves the connection as its Disconnect button would, so the window no longer
// claims a controller and the user can connect again; the user is told once, as the dialog is
// no longer a client afterwards.
void ControlDialog::OnHangUp() {
    OnDisconnect();
    ShowWarning(
        FailureMessage("Связь с контроллером потеряна.\n"
                       "Подключитесь снова, когда контроллер вернётся.",
                       kLineHungUp));
}

void ControlDialog::ShowAutoStates() {
    for (int k = 0; k < kThermometerSlots; ++k) {
        CheckState state = CheckState::Indeterminate;
        if (k == autoIndex_) {
            state = CheckState::Checked;
        } else if (k == device_->settings.AscomPreferredTermometer) {
            state = CheckState::Clear;
        }
        c_->SetCheck(Id::AutoBox0 + k, state);
    }
}

// A click toggles compensation on the clicked thermometer, which becomes the preferred one.
void ControlDialog::OnAutoBox(int thermometer) {
    const bool running = c_->Check(Id::AutoBox0 + thermometer) == CheckState::Checked;
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
    c_->SetText(Id::PositionDisplay, std::to_string(device_->focuserPosition));
}

void ControlDialog::OnMinStepSpin(int delta) {
    const int64_t step = int64_t{device_->MinMotorStep} - delta;
    device_->MinMotorStep =
        static_cast<int32_t>(std::clamp<int64_t>(step, kMinStepLowest, kMinStepHighest));
    c_->SetText(Id::MinStep, std::to_string(device_->MinMotorStep));
}

// Taken as typed, unclamped, until the arrows are used; what is no number gives 0.
void ControlDialog::OnMinStepEdit() {
    int64_t step = 0;
    if (!ParseInteger(c_->Text(Id::MinStep), false, step) || step > INT32_MAX) step = 0;
    device_->MinMotorStep = static_cast<int32_t>(step);
}

void ControlDialog::OnSet() {
    int32_t target = 0;
    if (TargetFromBox(target)) device_->SetPosition(target);
}

void ControlDialog::OnGo() {
    int32_t target = 0;
    if (!TargetFromBox(target)) return;  // told before the wait cursor comes up
    c_->SetWaitCursor(true);
    device_->MoveTo(target);
    c_->SetWaitCursor(false);
}

// Only a whole number is a position: an empty box or a typing slip ("1500q") would otherwise
// read as 0 and drive the focuser to the end of its travel, so it is refused and nothing sent.
bool ControlDialog::TargetFromBox(int32_t& target) {
    const std::string text(TrimBlanks(c_->Text(Id::TargetPosition)));
    int64_t value = 0;
    if (!ParseInteger(text, true, value)) {
        ShowWarning((text.empty() ? std::string("Введите позицию фокусера: целое число.")
                                  : "«" + text + "» не является целым числом.") +
                    "\nКонтроллеру ничего не отправлено.");
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
    ShowWarning("Позиция " + std::to_string(target) +
                " вне диапазона от -32768 до 32767.\nКонтроллеру ничего не отправлено.");
    return false;
}

}  // namespace kavri::ui
