// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/ControlDialog.h"

#include "device/DeviceOperations.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/dialogs/ValueText.h"

namespace kavri::ui {

namespace Id = ControlIds;

namespace {

constexpr int kRowIconsBitmap = 3005;  // 16 × 16 images: a cyan disc, a yellow one (current)
constexpr int kRowIconSize = 16;
constexpr unsigned kRowIconsTransparent = 0xFF00FF;

// The number of entries of the port list ("Auto", then COM1 ...).
int PortCount() {
    for (const ControlTemplate& control : ControlDialogTemplate().controls) {
        if (control.id == Id::PortCombo) return static_cast<int>(control.items.size());
    }
    return 0;
}

}  // namespace

ControlDialog::ControlDialog(WheelFocuserDevice& device, std::string startWarning)
    : device_(&device), startWarning_(std::move(startWarning)) {}

void ControlDialog::OnInitDialog(DialogControls& controls) {
    c_ = &controls;
    portIndex_ = device_->settings.ComPort;
    UpdateData(false);
    c_->SetListImages(Id::FilterList, kRowIconsBitmap, kRowIconSize, kRowIconsTransparent);
    CreateColumns();
    FillFilterList();
    c_->SetText(Id::MinStep, std::to_string(device_->MinMotorStep));
    c_->StartTimer(kRefreshTimer, 1000);
    if (device_->port != nullptr) c_->SetFocus(Id::PositionDisplay);
    // Settings that will be saved where other programs may not look are told once, at start,
    // before anything is changed.
    if (!startWarning_.empty()) c_->ShowMessage(startWarning_, "Settings", MessageStyle::Warning);
}

void ControlDialog::CreateColumns() {
    const int w = (c_->ListClientWidth(Id::FilterList) - 40) / 3;
    c_->SetListColumns(Id::FilterList,
                       {{"Name", w}, {"#", 40}, {"Correction", w}, {"Focus Shift", w}});
}

void ControlDialog::OnCommand(int id) {
    switch (id) {
        case kAcceptCommand: OnOK(); return;
        case kCancelCommand: OnCancel(); return;  // also the Exit button
        case Id::Connect: OnConnect(); return;
        case Id::Disconnect: OnDisconnect(); return;
        case Id::Set: OnSet(); return;
        case Id::Go: OnGo(); return;
        case Id::WheelSettings: OnWheelSettings(); return;
        case Id::FocuserSettings: OnFocuserSettings(); return;
        case Id::Save: OnSave(); return;
        case Id::Load: OnLoad(); return;
        default: break;
    }
    if (id >= Id::AutoBox0 && id < Id::AutoBox0 + kThermometerSlots) OnAutoBox(id - Id::AutoBox0);
}

void ControlDialog::OnTextChanged(int id) {
    if (id == Id::MinStep) OnMinStepEdit();
}

// A name the rule refuses is refused as soon as the field is left, not only when the names are
// next taken over.
void ControlDialog::OnFocusLeft(int id) {
    if (id < Id::ThermometerName0 || id >= Id::ThermometerName0 + kThermometerSlots) return;
    std::string bytes;
    ThermometerNameBytes(id - Id::ThermometerName0, bytes);
}

void ControlDialog::OnSpin(int id, int delta) {
    if (id == Id::FocuserSpin) OnFocuserSpin(delta);
    if (id == Id::MinStepSpin) OnMinStepSpin(delta);
}

void ControlDialog::OnTimer(int timerId) {
    if (timerId == kRefreshTimer) OnTimer();
}

void ControlDialog::UpdateData(bool save) {
    if (save) {
        // A port the list cannot show (no selection) keeps the stored number.
        if (const int index = c_->ComboSelection(Id::PortCombo); index >= 0) portIndex_ = index;
    } else {
        c_->SelectComboItem(Id::PortCombo,
                            portIndex_ >= 0 && portIndex_ < PortCount() ? portIndex_ : -1);
    }
    for (int k = 0; k < kThermometerSlots; ++k) {
        if (save) {
            std::string bytes;
            if (ThermometerNameBytes(k, bytes)) device_->TermometerName[k] = bytes;
        } else {
            c_->SetText(Id::ThermometerName0 + k, NameText(device_->TermometerName[k]));
        }
    }

    const bool connected = device_->port != nullptr;
    const bool focuser = device_->focuserPresent;
    c_->Enable(Id::Connect, !connected);
    c_->Enable(Id::PortCombo, !connected);
    c_->Enable(Id::Disconnect, connected);
    c_->Enable(Id::Save, connected);
    c_->Enable(Id::Load, connected);
    for (int id : {Id::MinStep, Id::MinStepSpin, Id::FocuserSpin, Id::Go, Id::TargetPosition,
                   Id::Set, Id::FocuserSettings})
        c_->Enable(id, focuser);
    c_->Enable(Id::WheelSettings, device_->wheelPresent);
    for (int k = 0; k < kThermometerSlots; ++k) c_->Enable(Id::AutoBox0 + k, false);
}

// Thermometer names are kept as windows-1251 bytes like the filter names. Every stored byte
// string has a display form that encodes back to the same bytes, so writing the shown text back
// keeps names this program cannot have typed. A typed name the rule of every front end refuses
// is refused: the field shows the stored name again and the user is told.
bool ControlDialog::ThermometerNameBytes(int k, std::string& bytes) {
    const int id = Id::ThermometerName0 + k;
    const NameCheck check =
        CheckTypedName(NameKind::Thermometer, c_->Text(id), device_->TermometerName[k]);
    if (check.problem == NameProblem::None) {
        bytes = check.bytes;
        return true;
    }
    c_->SetText(id, NameText(device_->TermometerName[k]));
    ShowWarning(NameRefusalMessage(NameKind::Thermometer, check));
    return false;
}

void ControlDialog::OnConnect() {
    UpdateData(true);
    c_->SetWaitCursor(true);
    // The chosen port (Auto or COMn, the list's index) is kept as the program's port, and this
    // dialog joins the connection on it.
    if (!ConnectTo(*device_, {.port = {portIndex_, {}}, .storePort = true, .client = this})) {
        c_->SetWaitCursor(false);
        return;
    }
    portIndex_ = device_->settings.ComPort;
    UpdateData(false);
    FillFilterList();
    c_->SetFocus(Id::PositionDisplay);
    c_->SetWaitCursor(false);
}

void ControlDialog::OnDisconnect() {
    UpdateData(true);
    device_->DisconnectMulti(this);
    if (device_->port == nullptr) c_->ClearList(Id::FilterList);
    UpdateData(false);
}

void ControlDialog::OnCancel() {
    UpdateData(true);
    StorePortChoice(*device_, PortChoice{portIndex_, {}});
    device_->DisconnectMulti(this);
    c_->EndDialog(kCancelCommand);
}

void ControlDialog::OnOK() {
    device_->DisconnectMulti(this);
    c_->EndDialog(kAcceptCommand);
}

bool ControlDialog::OnKey(const KeyPress& key) {
    return PreTranslateKey(key);
}

bool ControlDialog::PreTranslateKey(const KeyPress& key) {
    // Enter never presses a button: it connects while disconnected and is dropped otherwise,
    // so fields are committed by leaving them.
    if (key.key == Key::Enter) {
        if (device_->port == nullptr) OnConnect();
        return true;
    }
    if (!key.ctrl && c_->FocusedControl() != Id::PositionDisplay) return false;

    const int n = static_cast<int>(device_->filters.size());
    if (key.key == Key::Digit) {
        if (key.digit < 0 || key.digit >= n) return false;
        device_->SelectFilter(key.digit);
        return true;
    }
    const int current = device_->currentFilter;
    if ((key.key == Key::Left || key.key == Key::Right) && current >= 0 && n >= 1) {
        const int next = key.key == Key::Left ? (current + n - 1) % n : (current + 1) % n;
        device_->SelectFilter(next);
        return true;
    }
    return false;
}

void ControlDialog::ShowWarning(const std::string& text) {
    c_->ShowMessage(text, ControlDialogTemplate().caption, MessageStyle::Warning);
}

}  // namespace kavri::ui
