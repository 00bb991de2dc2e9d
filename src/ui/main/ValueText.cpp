#include "ui/main/ValueText.h"

#include <QByteArray>
#include <limits>

#include "device/FilterEntry.h"

namespace kavri::ui {

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

std::string ControllerName(const QString& text, int maxBytes) {
    std::string name;
    for (int i = 0; i < text.size();) {
        // One whole character: a surrogate pair stays together.
        const int length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray bytes = text.mid(i, length).toUtf8();
        if (static_cast<int>(name.size() + bytes.size()) > maxBytes) break;
        name.append(bytes.constData(), static_cast<size_t>(bytes.size()));
        i += length;
    }
    return name;
}

}  // namespace kavri::ui
