#include "ui/settings/MicrostepTableDialog.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "device/WheelFocuserDevice.h"
#include "ui/common/DialogBuilder.h"
#include "ui/common/UpDownControl.h"
#include "ui/dialogs/SettingsTemplates.h"
#include "ui/settings/FieldExchange.h"
#include "ui/settings/UserPrompts.h"

namespace kavri::ui {

using namespace microstep_ids;

namespace {

// Height of the level curve's band in dialog units, shrink margins included.
constexpr int kCurveBandHeight = 54;

// Rectangles here exclude their right and bottom edges.
QRect ToQRect(const CurveRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

}  // namespace

MicrostepTableDialog::MicrostepTableDialog(WheelFocuserDevice* device, QWidget* parent)
    : QDialog(parent), device(device) {
    const DialogUnits units = BuildDialog(*this, MicrostepTableTemplate());
    inverseBox = FindControlAs<QCheckBox>(*this, kInverse);
    powSpin = FindControlAs<UpDownControl>(*this, kPowSpin);
    powEdit = FindControlAs<QLineEdit>(*this, kPowEdit);
    tableEdit = FindControlAs<QPlainTextEdit>(*this, kTableEdit);
    KeepCurveBand(units);
    // Enter in the table text presses "Apply", as in every other field of the dialog.
    tableEdit->installEventFilter(this);

    // Text set by the program notifies like typing, so showing the table parses it again
    // and setting the exponent re-bends the shape.
    connect(tableEdit, &QPlainTextEdit::textChanged, this, &MicrostepTableDialog::ParseTable);
    connect(powEdit, &QLineEdit::textChanged, this, &MicrostepTableDialog::ApplyShape);
    connect(inverseBox, &QCheckBox::clicked, this, &MicrostepTableDialog::ToggleInverse);
    connect(FindControlAs<QPushButton>(*this, kSin), &QPushButton::clicked, this,
            [this] { Generate(MicrostepCurve::Sin); });
    connect(FindControlAs<QPushButton>(*this, kTan), &QPushButton::clicked, this,
            [this] { Generate(MicrostepCurve::Tan); });
    connect(FindControlAs<QPushButton>(*this, kSinSin3), &QPushButton::clicked, this,
            [this] { Generate(MicrostepCurve::SinSin3); });
    connect(FindControlAs<QPushButton>(*this, kOkButton), &QPushButton::clicked, this,
            &MicrostepTableDialog::OnOK);
    connect(FindControlAs<QPushButton>(*this, kCancelButton), &QPushButton::clicked, this,
            &QDialog::reject);

    shapeActive = false;
    // Parsing the shown table mirrors it, so the device's copy is symmetric from here on.
    ShowTable();
    powEdit->setText(QStringLiteral("1.0"));
    powSpin->SetRange(-50, 50);
}

void MicrostepTableDialog::KeepCurveBand(const DialogUnits& units) {
    // The current-path square is as wide as the dialog, and the level curve gets what is left
    // between the text field and the square. A font that is wide for its height makes the
    // dialog relatively wider and would squeeze the curve into a sliver, so the dialog grows
    // until the band is as high as the layout intends (54 dialog units).
    const int wanted = tableEdit->geometry().bottom() + 1 + units.Y(kCurveBandHeight) + width();
    if (height() < wanted) setFixedSize(width(), wanted);
}

int MicrostepTableDialog::Count() const {
    return device != nullptr ? EditableMicrostepCount(device->microstepCount) : 0;
}

uint8_t* MicrostepTableDialog::Table() const {
    return device != nullptr ? device->microstepTable : nullptr;
}

void MicrostepTableDialog::ShowTable() {
    const QString text =
        Count() > 0 ? QString::fromStdString(FormatMicrostepTable(Table(), Count())) : QString();
    tableEdit->setPlainText(text);
    update();
}

void MicrostepTableDialog::Generate(MicrostepCurve curve) {
    GenerateMicrostepShape(curve, Count(), shape);
    shapeActive = true;
    ApplyShape();
}

void MicrostepTableDialog::ApplyShape() {
    if (!shapeActive || Count() == 0) return;
    ApplyMicrostepShape(shape, Count(), ParseShapeExponent(powEdit->text().toStdString()),
                        inverseBox->isChecked(), Table());
    ShowTable();
    shapeActive = true;
}

void MicrostepTableDialog::ParseTable() {
    shapeActive = false;
    if (Count() > 0) ParseMicrostepTable(tableEdit->toPlainText().toStdString(), Count(), Table());
    update();
}

void MicrostepTableDialog::ToggleInverse() {
    if (Count() == 0) return;
    if (IsMicrostepTableInverted(Table()) == inverseBox->isChecked()) return;
    InvertMicrostepTable(Table(), Count());
    ShowTable();
}

void MicrostepTableDialog::OnOK() {
    if (device == nullptr) return;
    // The table follows the text at every keystroke, reading a slip such as "18o" as 18 and a
    // word as 0; a table with such an entry is not sent to drive the motor's coils.
    const QStringList numbers = tableEdit->toPlainText().split(
        QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    for (const QString& number : numbers) {
        if (!ParseSignedField(number)) {
            ShowMessage({this,
                         QStringLiteral("«%1» не является целым числом.\n"
                                        "Таблица не отправлена.")
                             .arg(number),
                         windowTitle(), MessageIcon::Warning});
            return;
        }
    }
    if (!device->FWym()) {
        // The controller keeps driving its old table; say so rather than let it pass.
        ShowMessage({this, QStringLiteral("Контроллер не принял таблицу микрошагов."),
                     windowTitle(), MessageIcon::Warning});
    }
}

MicrostepFigures MicrostepTableDialog::Figures() const {
    const QRect c = rect();
    const int fieldBottom = tableEdit != nullptr ? tableEdit->geometry().bottom() + 1 : c.top();
    const CurveRect client{c.left(), c.top(), c.right() + 1, c.bottom() + 1};
    static const uint8_t kEmpty[1] = {};
    return ComputeMicrostepFigures(Count() > 0 ? Table() : kEmpty, Count(), client, fieldBottom);
}

void MicrostepTableDialog::paintEvent(QPaintEvent*) {
    const MicrostepFigures figures = Figures();
    QPainter painter(this);
    painter.fillRect(ToQRect(figures.square), Qt::white);
    painter.fillRect(ToQRect(figures.band), Qt::white);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);

    QPainterPath path;
    if (!figures.levelCurve.empty()) {
        path.moveTo(figures.levelCurve.front().x, figures.levelCurve.front().y);
        for (std::size_t i = 1; i < figures.levelCurve.size(); ++i) {
            path.lineTo(figures.levelCurve[i].x, figures.levelCurve[i].y);
        }
    }
    for (std::size_t i = 0; i + 2 < figures.currentPath.size(); i += 3) {
        path.moveTo(figures.currentPath[i].x, figures.currentPath[i].y);
        path.lineTo(figures.currentPath[i + 1].x, figures.currentPath[i + 1].y);
        path.lineTo(figures.currentPath[i + 2].x, figures.currentPath[i + 2].y);
    }
    painter.drawPath(path);
}

bool MicrostepTableDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tableEdit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            OnOK();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kavri::ui
