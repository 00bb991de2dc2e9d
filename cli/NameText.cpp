#include "cli/NameText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "device/Cp1251.h"

namespace kavri::cli {

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

// Capital and small letters of windows-1251 outside the contiguous А..Я / а..я block.
constexpr std::pair<uint8_t, uint8_t> kCyrillicPairs[] = {
    {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D},
    {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4},
    {0xA8, 0xB8}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE},
};

uint8_t SmallLetter(uint8_t byte) {
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDF)) return byte + 0x20;
    for (const auto& [capital, small] : kCyrillicPairs) {
        if (byte == capital) return small;
    }
    return byte;
}

}  // namespace

std::string DecodedName(std::string_view stored) {
    return Cp1251ToUtf8(stored);
}

std::string ShownName(std::string_view stored) {
    return Escaped(DecodedName(stored));
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

bool EncodeTypedName(const std::string& typed, const char* what, std::string& stored,
                     std::string& reason) {
    std::string bytes;
    std::string unsupported;
    if (!Utf8ToCp1251(typed, bytes, &unsupported)) {
        reason = std::string(what) + " '" + Escaped(typed) + "' holds '" + Escaped(unsupported) +
                 "', which the controller's character set (windows-1251) lacks";
        return false;
    }
    // Control characters, and 0x98, the one byte the code page leaves undefined (U+0098).
    const bool control = std::any_of(bytes.begin(), bytes.end(), [](char c) {
        const auto byte = static_cast<uint8_t>(c);
        return byte < 0x20 || byte == 0x7F || byte == 0x98;
    });
    if (control) {
        reason = std::string(what) + " '" + Escaped(typed) + "' holds a control character";
        return false;
    }
    stored = std::move(bytes);
    return true;
}

std::string FoldCase(std::string_view stored) {
    std::string folded(stored);
    for (char& c : folded) c = static_cast<char>(SmallLetter(static_cast<uint8_t>(c)));
    return folded;
}

}  // namespace kavri::cli
