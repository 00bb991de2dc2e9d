#include "ui/settings/FieldExchange.h"

#include <QDialog>
#include <QLineEdit>
#include <cmath>
#include <limits>

#include "device/ConfigFields.h"
#include "platform/ClassicNumber.h"
#include "ui/common/DialogBuilder.h"
#include "ui/settings/UserPrompts.h"

namespace kavri::ui {

namespace {

// Optional sign and at least one digit, nothing else; the magnitude must not exceed `limit`.
std::optional<int64_t> ParseInteger(const QString& text, bool allowMinus, int64_t limitPositive,
                                    int64_t limitNegative) {
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || (allowMinus && t[i] == u'-'))) {
        negative = t[i] == u'-';
        ++i;
    }
    if (i >= t.size()) return std::nullopt;
    int64_t magnitude = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < u'0' || t[i] > u'9') return std::nullopt;
        magnitude = magnitude * 10 + (t[i].unicode() - u'0');
        if (magnitude > (negative ? limitNegative : limitPositive)) return std::nullopt;
    }
    return negative ? -magnitude : magnitude;
}

}  // namespace

std::optional<uint32_t> ParseUnsignedField(const QString& text) {
    const auto value = ParseInteger(text, false, std::numeric_limits<uint32_t>::max(), 0);
    if (!value) return std::nullopt;
    return static_cast<uint32_t>(*value);
}

std::optional<int32_t> ParseSignedField(const QString& text) {
    const auto value = ParseInteger(text, true, std::numeric_limits<int32_t>::max(),
                                    -static_cast<int64_t>(std::numeric_limits<int32_t>::min()));
    if (!value) return std::nullopt;
    return static_cast<int32_t>(*value);
}

std::optional<double> ParseDoubleField(const QString& text) {
    const QByteArray bytes = text.trimmed().toUtf8();
    if (bytes.isEmpty()) return std::nullopt;
    char* end = nullptr;
    const double value = StrtodClassic(bytes.constData(), &end);
    if (end != bytes.constData() + bytes.size()) return std::nullopt;
    // Infinity or NaN would reach the focuser driver as a step length; refuse them.
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

QString FormatDoubleField(double value) {
    return QString::number(value, 'g', 15);
}

QLineEdit* FieldReader::Edit(int id) {
    return FindControlAs<QLineEdit>(dialog_, id);
}

void FieldReader::Refuse(QLineEdit* edit, const QString& message) {
    ok_ = false;
    ShowMessage({&dialog_, message, dialog_.windowTitle(), MessageIcon::Warning});
    edit->setFocus();
    edit->selectAll();
}

bool FieldReader::Unsigned(int id, uint32_t& value) {
    QLineEdit* edit = Edit(id);
    if (!ok_ || edit == nullptr) return false;
    const auto parsed = ParseUnsignedField(edit->text());
    if (!parsed) {
        Refuse(edit, QStringLiteral("Введите целое число от 0 до 4294967295."));
        return false;
    }
    value = *parsed;
    return true;
}

bool FieldReader::Signed(int id, int32_t& value) {
    QLineEdit* edit = Edit(id);
    if (!ok_ || edit == nullptr) return false;
    const auto parsed = ParseSignedField(edit->text());
    if (!parsed) {
        Refuse(edit, QStringLiteral("Введите целое число от -2147483648 до 2147483647."));
        return false;
    }
    value = *parsed;
    return true;
}

bool FieldReader::Double(int id, double& value) {
    QLineEdit* edit = Edit(id);
    if (!ok_ || edit == nullptr) return false;
    const auto parsed = ParseDoubleField(edit->text());
    if (!parsed) {
        Refuse(edit, QStringLiteral("Введите число (например 2.5)."));
        return false;
    }
    value = *parsed;
    return true;
}

void RefuseOutOfRange(QDialog& dialog, int id, const ConfigRefusal& refusal) {
    ShowMessage({&dialog,
                 QStringLiteral("Введите целое число от %1 до %2.")
                     .arg(refusal.field->low)
                     .arg(refusal.field->high),
                 dialog.windowTitle(), MessageIcon::Warning});
    if (auto* edit = FindControlAs<QLineEdit>(dialog, id)) {
        edit->setFocus();
        edit->selectAll();
    }
}

void SetUnsignedField(QDialog& dialog, int id, uint32_t value) {
    if (auto* edit = FindControlAs<QLineEdit>(dialog, id)) edit->setText(QString::number(value));
}

void SetSignedField(QDialog& dialog, int id, int32_t value) {
    if (auto* edit = FindControlAs<QLineEdit>(dialog, id)) edit->setText(QString::number(value));
}

void SetDoubleField(QDialog& dialog, int id, double value) {
    if (auto* edit = FindControlAs<QLineEdit>(dialog, id)) edit->setText(FormatDoubleField(value));
}

}  // namespace kavri::ui
