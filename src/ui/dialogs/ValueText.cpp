// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/ValueText.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "device/Cp1251.h"
#include "device/FilterEntry.h"

namespace kavri::ui {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The decimal integer at the start of `text` (a sign, then digits), saturating beyond 64 bits.
int64_t LeadingInteger(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 10 - 9;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < kLimit) value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool ParseInteger(std::string_view text, bool allowSign, int64_t& value) {
    const std::string_view trimmed = TrimBlanks(text);
    int digits = 0;
    for (size_t i = 0; i < trimmed.size(); ++i) {
        const char c = trimmed[i];
        const bool sign = i == 0 && (c == '-' || c == '+');
        if (sign && !allowSign) return false;
        if (!sign && (c < '0' || c > '9')) return false;
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

std::string FocusShiftText(int32_t focuserPosition) {
    return focuserPosition > kNoFocuserPosition ? "none" : std::to_string(focuserPosition);
}

std::string NameText(std::string_view bytes) {
    return Cp1251ToUtf8(bytes.substr(0, std::min(bytes.find('\0'), bytes.size())));
}

std::string NameRefusalMessage(NameKind kind, const NameCheck& check) {
    std::string reason;
    switch (check.problem) {
        case NameProblem::None:
            return {};
        case NameProblem::Unsupported:
            reason = "Символа «" + check.character +
                     "» нет в кодировке windows-1251, в которой контроллер хранит имена.";
            break;
        case NameProblem::Control:
            reason = "Имя содержит управляющий символ.";
            break;
        case NameProblem::TooLong:
            reason = "Имя длиннее " + std::to_string(MaxNameLength(kind)) + " символов.";
            break;
    }
    return reason + "\nИмя не изменено.";
}

std::string TemperatureText(float degrees) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, static_cast<double>(degrees),
                                      std::chars_format::fixed, 2);
    return std::string(text, result.ptr);
}

std::string FailureMessage(std::string_view heading, std::string_view reason) {
    std::string text(heading);
    if (!reason.empty()) text.append("\n\n").append(reason);
    return text;
}

}  // namespace kavri::ui
