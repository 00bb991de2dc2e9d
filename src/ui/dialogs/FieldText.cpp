// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/FieldText.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "device/ConfigFields.h"
#include "platform/ClassicNumber.h"
#include "ui/dialogs/ValueText.h"

namespace kavri::ui {

namespace {

// Optional sign and at least one digit, nothing else; the magnitude must not exceed the limit
// of its sign.
std::optional<int64_t> ParseWhole(std::string_view text, bool allowMinus, int64_t limitPositive,
                                  int64_t limitNegative) {
    const std::string_view t = TrimBlanks(text);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || (allowMinus && t[i] == '-'))) {
        negative = t[i] == '-';
        ++i;
    }
    if (i >= t.size()) return std::nullopt;
    int64_t magnitude = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') return std::nullopt;
        magnitude = magnitude * 10 + (t[i] - '0');
        if (magnitude > (negative ? limitNegative : limitPositive)) return std::nullopt;
    }
    return negative ? -magnitude : magnitude;
}

}  // namespace

std::optional<uint32_t> ParseUnsignedField(std::string_view text) {
    const auto value = ParseWhole(text, false, std::numeric_limits<uint32_t>::max(), 0);
    if (!value) return std::nullopt;
    return static_cast<uint32_t>(*value);
}

std::optional<int32_t> ParseSignedField(std::string_view text) {
    const auto value = ParseWhole(text, true, std::numeric_limits<int32_t>::max(),
                                  -static_cast<int64_t>(std::numeric_limits<int32_t>::min()));
    if (!value) return std::nullopt;
    return static_cast<int32_t>(*value);
}

std::optional<double> ParseDoubleField(std::string_view text) {
    const std::string bytes(TrimBlanks(text));
    if (bytes.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = StrtodClassic(bytes.c_str(), &end);
    if (end != bytes.c_str() + bytes.size()) return std::nullopt;
    // Infinity or NaN would reach the focuser driver as a step length; refuse them.
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::string FormatDoubleField(double value) {
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    return std::string(text, result.ptr);
}

void FieldReader::Refuse(int id, std::string_view message) {
    ok_ = false;
    controls_.ShowMessage(message, caption_, MessageStyle::Warning);
    controls_.SetFocus(id);
    controls_.SelectText(id);
}

bool FieldReader::Unsigned(int id, uint32_t& value) {
    if (!ok_) return false;
    const auto parsed = ParseUnsignedField(controls_.Text(id));
    if (!parsed) {
        Refuse(id, "Введите целое число от 0 до 4294967295.");
        return false;
    }
    value = *parsed;
    return true;
}

bool FieldReader::Signed(int id, int32_t& value) {
    if (!ok_) return false;
    const auto parsed = ParseSignedField(controls_.Text(id));
    if (!parsed) {
        Refuse(id, "Введите целое число от -2147483648 до 2147483647.");
        return false;
    }
    value = *parsed;
    return true;
}

void RefuseOutOfRange(DialogControls& controls, std::string_view caption, int id,
                      const ConfigRefusal& refusal) {
    controls.ShowMessage("Введите целое число от " + std::to_string(refusal.field->low) + " до " +
                             std::to_string(refusal.field->high) + ".",
                         caption, MessageStyle::Warning);
    controls.SetFocus(id);
    controls.SelectText(id);
}

bool FieldReader::Double(int id, double& value) {
    if (!ok_) return false;
    const auto parsed = ParseDoubleField(controls_.Text(id));
    if (!parsed) {
        Refuse(id, "Введите число (например 2.5).");
        return false;
    }
    value = *parsed;
    return true;
}

}  // namespace kavri::ui
