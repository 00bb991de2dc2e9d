#include "ui/main/ValueText.h"

#include <algorithm>
#include <limits>

#include "device/Cp1251.h"
#include "device/FilterEntry.h"

namespace kavri::ui {
namespace {

// The decimal integer at the start of `text`, saturating beyond 64 bits.
int64_t LeadingInteger(const QString& text) {
    int i = 0;
    while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 10 - 9;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        if (value < kLimit) value = value * 10 + (text[i].unicode() - '0');
    }
    return negative ? -value : value;
}

}  // namespace

bool ParseInteger(const QString& text, bool allowSign, int64_t& value) {
    const QString trimmed = text.trimmed();
    int digits = 0;
    for (int i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed[i];
        const bool sign = i == 0 && (c == QLatin1Char('-') || c == QLatin1Char('+'));
        if (sign && !allowSign) return false;
        if (!sign && (c < QLatin1Char('0') || c > QLatin1Char('9'))) return false;
        if (!sign) ++digits;
    }
    if (digits == 0) return false;
    value = LeadingInteger(trimmed);
    return true;
}

bool FitsControllerRange(int64_t value) {
    return value >= std::numeric_limits<int16_t>::min() &&
           value <= std::numeric_limits<int16_t>::max();
}

QString FocusShiftText(int32_t focuserPosition) {
    return focuserPosition > kNoFocuserPosition ? QStringLiteral("none")
                                                : QString::number(focuserPosition);
}

QString NameText(std::string_view bytes) {
    const std::string_view name = bytes.substr(0, std::min(bytes.find('\0'), bytes.size()));
    return QString::fromStdString(Cp1251ToUtf8(name));
}

QString NameRefusalMessage(NameKind kind, const NameCheck& check) {
    QString reason;
    switch (check.problem) {
        case NameProblem::None:
            return {};
        case NameProblem::Unsupported:
            reason = QStringLiteral(
                         "Символа «%1» нет в кодировке windows-1251, в которой контроллер "
                         "хранит имена.")
                         .arg(QString::fromStdString(check.character));
            break;
        case NameProblem::Control:
            reason = QStringLiteral("Имя содержит управляющий символ.");
            break;
        case NameProblem::TooLong:
            reason = QStringLiteral("Имя длиннее %1 символов.").arg(MaxNameLength(kind));
            break;
    }
    return reason + QStringLiteral("\nИмя не изменено.");
}

}  // namespace kavri::ui
