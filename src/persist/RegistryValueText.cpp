// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/RegistryValueText.h"

#include <cstdint>
#include <cstdio>

namespace kavri {
namespace {

// The export tool breaks hex data after the byte that passes this column.
constexpr size_t kWrapColumn = 76;

char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameRegistryName(text.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A hexadecimal number of 1 to `maxDigits` digits and nothing else.
bool ParseHexNumber(std::string_view text, size_t maxDigits, uint32_t& value) {
    if (text.empty() || text.size() > maxDigits) return false;
    value = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) return false;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    return true;
}

// "00,24,ff", blanks allowed around each byte; "" is no bytes. Every byte must have its two
// digits and the list must not end in a comma: a line cut short then fails as a whole
// instead of yielding a shorter value or a wrong last byte.
bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& bytes) {
    text = TrimRegistry(text);
    bytes.clear();
    if (text.empty()) return true;
    for (;;) {
        const size_t comma = text.find(',');
        const std::string_view token = TrimRegistry(text.substr(0, comma));
        uint32_t value = 0;
        if (token.size() != 2 || !ParseHexNumber(token, 2, value)) return false;
        bytes.push_back(static_cast<uint8_t>(value));
        if (comma == std::string_view::npos) return true;
        text = text.substr(comma + 1);
    }
}

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

// Length of the well-formed UTF-8 sequence at `p` (no overlong forms, no surrogates, nothing
// above U+10FFFF), with its code point; 0 when the bytes there are not one.
size_t DecodeUtf8(const uint8_t* p, size_t n, uint32_t& cp) {
    const uint8_t b0 = p[0];
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t length;
    uint32_t minimum;
    if (b0 >= 0xC2 && b0 < 0xE0) {
        length = 2, minimum = 0x80, cp = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 < 0xF0) {
        length = 3, minimum = 0x800, cp = b0 & 0x0Fu;
    } else if (b0 >= 0xF0 && b0 < 0xF5) {
        length = 4, minimum = 0x10000, cp = b0 & 0x07u;
    } else {
        return 0;
    }
    if (n < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

void AppendUtf8(std::vector<uint8_t>& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<uint8_t>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<uint8_t>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<uint8_t>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<uint8_t>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<uint8_t>(0x80 | (cp & 0x3F)));
    }
}

void AppendUnit(std::vector<uint8_t>& out, uint32_t unit) {
    out.push_back(static_cast<uint8_t>(unit));
    out.push_back(static_cast<uint8_t>(unit >> 8));
}

// A string value that can be written between quotes and read back byte for byte: printable
// UTF-8 without line breaks, ending in its one NUL.
bool IsPrintableString(const std::vector<uint8_t>& data) {
    if (data.empty() || data.back() != 0) return false;
    const size_t length = data.size() - 1;
    for (size_t i = 0; i < length;) {
        if (data[i] < 0x20 || data[i] == 0x7F) return false;
        uint32_t cp = 0;
        const size_t step = DecodeUtf8(data.data() + i, length - i, cp);
        if (step == 0) return false;
        i += step;
    }
    return true;
}

// Appends "hex...:" data, wrapping long lines with a trailing backslash and a two-space
// indent on the next line, as the export tool lays them out.
void AppendHexData(std::string& out, size_t lineStart, std::string_view prefix,
                   const std::vector<uint8_t>& bytes, std::string_view lineEnd) {
    out += prefix;
    char text[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(text, sizeof text, "%02x", bytes[i]);
        out += text;
        if (i + 1 == bytes.size()) break;
        out += ',';
        if (out.size() - lineStart > kWrapColumn) {
            out += '\\';
            out += lineEnd;
            lineStart = out.size();
            out += "  ";
        }
    }
}

}  // namespace

bool SameRegistryName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

std::string FoldRegistryName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) c = FoldCase(c);
    return folded;
}

bool IsRegistryBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view TrimRegistryLeft(std::string_view text) {
    while (!text.empty() && IsRegistryBlank(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view TrimRegistry(std::string_view text) {
    text = TrimRegistryLeft(text);
    while (!text.empty() && IsRegistryBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool ParseRegistryQuoted(std::string_view line, size_t& pos, std::string& out) {
    ++pos;
    while (pos < line.size()) {
        const char c = line[pos];
        if (c == '\\' && pos + 1 < line.size() && (line[pos + 1] == '\\' || line[pos + 1] == '"')) {
            out += line[pos + 1];
            pos += 2;
        } else if (c == '"') {
            ++pos;
            return true;
        } else {
            out += c;
            ++pos;
        }
    }
    return false;
}

void AppendRegistryValueLine(std::string& out, const RegistryFileValue& value,
                             std::string_view lineEnd) {
    const size_t lineStart = out.size();
    if (value.name.empty()) {
        out += '@';
    } else {
        out += '"';
        out += Escape(value.name);
        out += '"';
    }
    out += '=';
    char prefix[24];
    if (value.kind == kRegSz && IsPrintableString(value.data)) {
        out += '"';
        out += Escape(std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                       value.data.size() - 1));
        out += '"';
    } else if (value.kind == kRegDword && value.data.size() == 4) {
        const uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                (static_cast<uint32_t>(value.data[3]) << 24);
        std::snprintf(prefix, sizeof prefix, "dword:%08x", number);
        out += prefix;
    } else if (value.kind == kRegBinary) {
        AppendHexData(out, lineStart, "hex:", value.data, lineEnd);
    } else {
        std::snprintf(prefix, sizeof prefix, "hex(%x):", value.kind);
        const bool text = value.kind == kRegSz || value.kind == kRegExpandSz;
        AppendHexData(out, lineStart, prefix, text ? BytesToUtf16Le(value.data) : value.data,
                      lineEnd);
    }
    out += lineEnd;
}

bool ParseRegistryValueData(std::string_view text, RegistryFileValue& value) {
    text = TrimRegistry(text);
    if (!text.empty() && text.front() == '"') {
        size_t pos = 0;
        std::string content;
        if (!ParseRegistryQuoted(text, pos, content) || !TrimRegistry(text.substr(pos)).empty())
            return false;
        value.kind = kRegSz;
        value.data.assign(content.begin(), content.end());
        value.data.push_back(0);
        return true;
    }
    if (StartsWithNoCase(text, "dword:")) {
        // Exported with eight digits; a person may write fewer ("dword:3"), and they mean
        // the same number. (A line cut short inside the digits reads as a smaller number;
        // files this program writes are replaced whole, so they are never cut.)
        const std::string_view digits = TrimRegistry(text.substr(6));
        uint32_t number = 0;
        if (!ParseHexNumber(digits, 8, number)) return false;
        value.kind = kRegDword;
        value.data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                      static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
        return true;
    }
    if (StartsWithNoCase(text, "hex:")) {
        value.kind = kRegBinary;
        return ParseHexBytes(text.substr(4), value.data);
    }
    if (StartsWithNoCase(text, "hex(")) {
        const size_t close = text.find("):");
        uint32_t kind = 0;
        if (close == std::string_view::npos || !ParseHexNumber(text.substr(4, close - 4), 8, kind))
            return false;
        std::vector<uint8_t> bytes;
        if (!ParseHexBytes(text.substr(close + 2), bytes)) return false;
        value.kind = kind;
        value.data = (kind == kRegSz || kind == kRegExpandSz)
                         ? Utf16LeToBytes(bytes.data(), bytes.size())
                         : std::move(bytes);
        return true;
    }
    return false;
}

std::vector<uint8_t> BytesToUtf16Le(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> out;
    out.reserve(bytes.size() * 2);
    for (size_t i = 0; i < bytes.size();) {
        uint32_t cp = 0;
        const size_t step = DecodeUtf8(bytes.data() + i, bytes.size() - i, cp);
        if (step == 0) {
            AppendUnit(out, 0xDC00u + bytes[i]);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            AppendUnit(out, 0xD800u + (cp >> 10));
            AppendUnit(out, 0xDC00u + (cp & 0x3FF));
        } else {
            AppendUnit(out, cp);
        }
        i += step;
    }
    return out;
}

std::vector<uint8_t> Utf16LeToBytes(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    out.reserve(size);
    auto unitAt = [&](size_t i) -> uint32_t {
        // A stray last byte of an odd-sized value counts as a unit of its own.
        return i + 1 < size ? static_cast<uint32_t>(data[i] | (data[i + 1] << 8)) : data[i];
    };
    for (size_t i = 0; i < size; i += 2) {
        const uint32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < size) {
            const uint32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (unit >= 0xDC80 && unit <= 0xDCFF) {
            out.push_back(static_cast<uint8_t>(unit - 0xDC00));
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

}  // namespace kavri
