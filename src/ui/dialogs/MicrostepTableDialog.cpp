// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/MicrostepTableDialog.h"

#include <string>

#include "device/DeviceOperations.h"
#include "ui/dialogs/FieldText.h"
#include "ui/dialogs/SettingsTemplates.h"
#include "ui/dialogs/ValueText.h"

namespace kavri::ui {

using namespace microstep_ids;

void MicrostepTableDialog::OnInitDialog(DialogControls& controls) {
    c_ = &controls;
    shapeActive = false;
    // Text set by the program notifies like typing, so showing the table parses it again
    // (which mirrors it: the device's copy is symmetric from here on) and setting the exponent
    // re-bends the shape.
    ShowTable();
    c_->SetText(kPowEdit, "1.0");
    c_->SetSpinRange(kPowSpin, -50, 50);
}

void MicrostepTableDialog::OnCommand(int id) {
    switch (id) {
        case kSin:
            Generate(MicrostepCurve::Sin);
            break;
        case kTan:
            Generate(MicrostepCurve::Tan);
            break;
        case kSinSin3:
            Generate(MicrostepCurve::SinSin3);
            break;
        case kInverse:
            ToggleInverse();
            break;
        case kOkButton:
            OnOK();
            break;
        case kCancelButton:
            c_->EndDialog(kCancelButton);
            break;
        default:
            break;
    }
}

void MicrostepTableDialog::OnTextChanged(int id) {
    if (id == kTableEdit) ParseTable();
    if (id == kPowEdit) ApplyShape();
}

// Enter in the table text presses "Apply", as in every other field of the dialog.
bool MicrostepTableDialog::OnKey(const KeyPress& key) {
    if (key.key != Key::Enter || c_->FocusedControl() != kTableEdit) return false;
    OnOK();
    return true;
}

int MicrostepTableDialog::Count() const {
    return device != nullptr ? EditableMicrostepCount(device->microstepCount) : 0;
}

uint8_t* MicrostepTableDialog::Table() const {
    return device != nullptr ? device->microstepTable : nullptr;
}

void MicrostepTableDialog::ShowTable() {
    c_->SetText(kTableEdit, Count() > 0 ? FormatMicrostepTable(Table(), Count()) : std::string());
    c_->Redraw();
}

void MicrostepTableDialog::Generate(MicrostepCurve curve) {
    GenerateMicrostepShape(curve, Count(), shape);
    shapeActive = true;
    ApplyShape();
}

void MicrostepTableDialog::ApplyShape() {
    if (!shapeActive || Count() == 0) return;
    ApplyMicrostepShape(shape, Count(), ParseShapeExponent(c_->Text(kPowEdit)),
                        c_->Check(kInverse) == CheckState::Checked, Table());
    ShowTable();
    shapeActive = true;
}

void MicrostepTableDialog::ParseTable() {
    shapeActive = false;
    if (Count() > 0) ParseMicrostepTable(c_->Text(kTableEdit), Count(), Table());
    c_->Redraw();
}

void MicrostepTableDialog::ToggleInverse() {
    if (Count() == 0) return;
    if (IsMicrostepTableInverted(Table()) == (c_->Check(kInverse) == CheckState::Checked)) return;
    InvertMicrostepTable(Table(), Count());
    ShowTable();
}

void MicrostepTableDialog::OnOK() {
    if (device == nullptr) return;
    // The table follows the text at every keystroke, reading a slip such as "18o" as 18 and a
    // word as 0; a table with such an entry is not sent to drive the motor's coils.
    const std::string text = c_->Text(kTableEdit);
    const char* const blanks = " \t\r\n\v\f";
    for (size_t start = text.find_first_not_of(blanks); start != std::string::npos;) {
        const size_t end = text.find_first_of(blanks, start);
        const std::string number = text.substr(start, end - start);
        if (!ParseSignedField(number)) {
            c_->ShowMessage("«" + number + "» не является целым числом.\nТаблица не отправлена.",
                            MicrostepTableTemplate().caption, MessageStyle::Warning);
            return;
        }
        start = text.find_first_not_of(blanks, end);
    }
    if (!device->FWym()) {
        // The controller keeps driving its old table; say so rather than let it pass.
        c_->ShowMessage(
            FailureMessage("Контроллер не принял таблицу микрошагов.", FailureText(*device)),
            MicrostepTableTemplate().caption, MessageStyle::Warning);
    }
}

MicrostepFigures MicrostepTableDialog::Figures() const {
    const Rect client = c_->ClientRect();
    const Rect field = c_->ControlRect(kTableEdit);
    const int fieldBottom = field.Empty() ? client.top : field.bottom;
    static const uint8_t kEmpty[1] = {};
    return ComputeMicrostepFigures(Count() > 0 ? Table() : kEmpty, Count(),
                                   {client.left, client.top, client.right, client.bottom},
                                   fieldBottom);
}

void MicrostepTableDialog::OnPaint() {
    c_->DrawCurve(Figures());
}

}  // namespace kavri::ui
