// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/NameRule.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "device/Cp1251.h"

namespace kavri {

namespace {

std::string Hex(const char* format, unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Length of the well-formed UTF-8 sequence at `pos`, or 0 when the bytes there are not one.
size_t SequenceLength(std::string_view text, size_t pos) {
    const auto lead = static_cast<uint8_t>(text[pos]);
    const size_t length = lead < 0x80                   ? 1
                          : lead >= 0xC2 && lead < 0xE0 ? 2
                          : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xF0 && lead < 0xF5 ? 4
                                                        : 0;
    if (length == 0 || text.size() - pos < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((static_cast<uint8_t>(text[pos + i]) & 0xC0) != 0x80) return 0;
    }
    return length;
}

// Control characters in windows-1251: C0, DEL, and 0x98, the one byte the code page leaves
// undefined (it decodes to the C1 control U+0098).
bool IsControlByte(char c) {
    const auto byte = static_cast<uint8_t>(c);
    return byte < 0x20 || byte == 0x7F || byte == 0x98;
}

}  // namespace

size_t MaxNameLength(NameKind kind) {
    return kind == NameKind::Filter ? kMaxFilterNameLength : kMaxThermometerNameLength;
}

NameCheck CheckTypedName(NameKind kind, std::string_view typed, std::string_view current) {
    NameCheck check;
    if (!Utf8ToCp1251(typed, check.bytes, &check.character)) {
        check.problem = NameProblem::Unsupported;
        check.bytes.clear();
        return check;
    }
    if (check.bytes == current) return check;
    if (std::any_of(check.bytes.begin(), check.bytes.end(), IsControlByte)) {
        check.problem = NameProblem::Control;
    } else if (check.bytes.size() > MaxNameLength(kind)) {
        check.problem = NameProblem::TooLong;
    }
    return check;
}

std::string NameRefusal(NameKind kind, std::string_view typed, const NameCheck& check) {
    // A long name is quoted by its start: the reason must stay readable where messages are
    // short (an INDI client's status line).
    constexpr size_t kQuotedBytes = 40;
    std::string quoted = Escaped(typed.substr(0, kQuotedBytes));
    if (typed.size() > kQuotedBytes) quoted += "...";
    const std::string name =
        std::string(kind == NameKind::Filter ? "filter" : "thermometer") + " name '" + quoted + "'";
    switch (check.problem) {
        case NameProblem::None:
            break;
        case NameProblem::Unsupported:
            return name + " holds '" + Escaped(check.character) +
                   "', which the controller's character set (windows-1251) lacks";
        case NameProblem::Control:
            return name + " holds a control character";
        case NameProblem::TooLong:
            return name + " is longer than " + std::to_string(MaxNameLength(kind)) + " characters";
    }
    return {};
}

std::string Escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        const auto byte = static_cast<uint8_t>(text[pos]);
        const size_t length = SequenceLength(text, pos);
        if (length == 0) {
            out += Hex("\\x%02x", byte);
            ++pos;
            continue;
        }
        // U+0080..U+009F are the two bytes C2 80..C2 9F.
        const bool c1 = length == 2 && byte == 0xC2 && static_cast<uint8_t>(text[pos + 1]) < 0xA0;
        if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            out += Hex("\\u%04x", byte);
        } else if (c1) {
            out += Hex("\\u%04x", static_cast<uint8_t>(text[pos + 1]));
        } else {
            out.append(text, pos, length);
        }
        pos += length;
    }
    return out;
}

}  // namespace kavri
