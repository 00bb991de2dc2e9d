#include "persist/RegistryFileFormat.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace kavri {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldHeader = "REGEDIT4";
constexpr std::string_view kLineEnd = "\r\n";
// The export tool breaks hex data after the byte that passes this column.
constexpr size_t kWrapColumn = 76;

char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameRegistryName(text.substr(0, prefix.size()), prefix);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view Trim(std::string_view text) {
    text = TrimLeft(text);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
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
    text = Trim(text);
    bytes.clear();
    if (text.empty()) return true;
    for (;;) {
        const size_t comma = text.find(',');
        const std::string_view token = Trim(text.substr(0, comma));
        uint32_t value = 0;
        if (token.size() != 2 || !ParseHexNumber(token, 2, value)) return false;
        bytes.push_back(static_cast<uint8_t>(value));
        if (comma == std::string_view::npos) return true;
        text = text.substr(comma + 1);
    }
}

// Reads a quoted name or text starting at the opening quote; only \\ and \" are escapes, any
// other backslash stands for itself, as the export tool writes paths.
bool ParseQuoted(std::string_view line, size_t& pos, std::string& out) {
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

std::string NormalizeKeyPath(std::string_view path) {
    path = TrimLeft(path);
    while (!path.empty() && (path.back() == '\\' || IsBlank(path.back()))) path.remove_suffix(1);
    return std::string(path);
}

// Appends "hex...:" data, wrapping long lines with a trailing backslash and a two-space
// indent on the next line, as the export tool lays them out.
void AppendHexData(std::string& out, size_t lineStart, std::string_view prefix,
                   const std::vector<uint8_t>& bytes) {
    out += prefix;
    char text[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(text, sizeof text, "%02x", bytes[i]);
        out += text;
        if (i + 1 == bytes.size()) break;
        out += ',';
        if (out.size() - lineStart > kWrapColumn) {
            out += '\\';
            out += kLineEnd;
            lineStart = out.size();
            out += "  ";
        }
    }
}

void AppendValue(std::string& out, const RegistryFileValue& value) {
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
        AppendHexData(out, lineStart, "hex:", value.data);
    } else {
        std::snprintf(prefix, sizeof prefix, "hex(%x):", value.kind);
        const bool text = value.kind == kRegSz || value.kind == kRegExpandSz;
        AppendHexData(out, lineStart, prefix, text ? BytesToUtf16Le(value.data) : value.data);
    }
    out += kLineEnd;
}

// Parses the part after "name=" into the value; false when it is not understood.
bool ParseValueData(std::string_view text, RegistryFileValue& value) {
    text = Trim(text);
    if (!text.empty() && text.front() == '"') {
        size_t pos = 0;
        std::string content;
        if (!ParseQuoted(text, pos, content) || !Trim(text.substr(pos)).empty()) return false;
        value.kind = kRegSz;
        value.data.assign(content.begin(), content.end());
        value.data.push_back(0);
        return true;
    }
    if (StartsWithNoCase(text, "dword:")) {
        // Always eight digits, as exported: fewer are a line cut short, not a smaller number.
        const std::string_view digits = Trim(text.substr(6));
        uint32_t number = 0;
        if (digits.size() != 8 || !ParseHexNumber(digits, 8, number)) return false;
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

struct LogicalLine {
    std::string text;
    bool cut = false;  // ended with a continuation mark but no continuation followed
};

// Splits the file into lines and joins continued hex lines. A continuation is joined only
// when the next line looks like more data, so a line cut short at the end of a damaged value
// cannot swallow the section header or value that follows it.
std::vector<LogicalLine> LogicalLines(std::string_view text) {
    std::vector<LogicalLine> lines;
    bool continuing = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
        const std::string_view content = TrimLeft(line);
        const bool moreData = !content.empty() && content.front() != '[' &&
                              content.front() != '"' && content.front() != '@' &&
                              content.front() != ';';
        if (continuing && moreData) {
            lines.back().text += content;
        } else {
            if (continuing) lines.back().cut = true;
            lines.push_back({std::string(content), false});
        }
        const std::string& last = lines.back().text;
        continuing = !last.empty() && last.back() == '\\' && last.front() != '[';
        if (continuing) lines.back().text.pop_back();
    }
    if (continuing) lines.back().cut = true;
    return lines;
}

}  // namespace

bool SameRegistryName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldCase(x) == FoldCase(y);
           });
}

RegistryFileValue* RegistryFileKey::FindValue(std::string_view name) {
    for (auto& value : values)
        if (SameRegistryName(value.name, name)) return &value;
    return nullptr;
}

const RegistryFileValue* RegistryFileKey::FindValue(std::string_view name) const {
    return const_cast<RegistryFileKey*>(this)->FindValue(name);
}

void RegistryFileKey::SetValue(RegistryFileValue value) {
    if (RegistryFileValue* existing = FindValue(value.name)) {
        // The registry keeps the name's first spelling; so do we.
        existing->kind = value.kind;
        existing->data = std::move(value.data);
    } else {
        values.push_back(std::move(value));
    }
}

void RegistryFileKey::RemoveValue(std::string_view name) {
    std::erase_if(values,
                  [&](const RegistryFileValue& v) { return SameRegistryName(v.name, name); });
}

RegistryFileKey* RegistryFileContents::FindKey(std::string_view path) {
    for (auto& key : keys)
        if (SameRegistryName(key.path, path)) return &key;
    return nullptr;
}

const RegistryFileKey* RegistryFileContents::FindKey(std::string_view path) const {
    return const_cast<RegistryFileContents*>(this)->FindKey(path);
}

RegistryFileKey& RegistryFileContents::FindOrAddKey(std::string_view path) {
    if (RegistryFileKey* key = FindKey(path)) return *key;
    keys.push_back(RegistryFileKey{std::string(path), {}});
    return keys.back();
}

void RegistryFileContents::RemoveKeyTree(std::string_view path) {
    std::erase_if(keys, [&](const RegistryFileKey& key) {
        if (SameRegistryName(key.path, path)) return true;
        return key.path.size() > path.size() && key.path[path.size()] == '\\' &&
               SameRegistryName(std::string_view(key.path).substr(0, path.size()), path);
    });
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

RegistryFileContents ParseRegistryFile(std::string_view bytes, size_t* skippedLines) {
    std::string converted;
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
        static_cast<uint8_t>(bytes[1]) == 0xFE) {
        const auto utf8 =
            Utf16LeToBytes(reinterpret_cast<const uint8_t*>(bytes.data()) + 2, bytes.size() - 2);
        converted.assign(utf8.begin(), utf8.end());
        bytes = converted;
    } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }

    RegistryFileContents contents;
    size_t skipped = 0;
    // Index of the section values go to; none before the first header or after a bad one.
    constexpr size_t kNoSection = SIZE_MAX;
    size_t current = kNoSection;
    for (const LogicalLine& logical : LogicalLines(bytes)) {
        const std::string& line = logical.text;
        if (line.empty() || line.front() == ';' || line == kHeader || line == kOldHeader) continue;
        if (line.front() == '[') {
            current = kNoSection;
            if (line.back() != ']' || line.size() < 3) {
                ++skipped;
                continue;
            }
            const std::string_view inner = Trim(std::string_view(line).substr(1, line.size() - 2));
            if (!inner.empty() && inner.front() == '-') {
                contents.RemoveKeyTree(NormalizeKeyPath(inner.substr(1)));
                continue;
            }
            const std::string path = NormalizeKeyPath(inner);
            if (path.empty()) {
                ++skipped;
                continue;
            }
            contents.FindOrAddKey(path);
            current = static_cast<size_t>(contents.FindKey(path) - contents.keys.data());
            continue;
        }
        RegistryFileValue value;
        size_t pos = 0;
        bool understood = current != kNoSection;
        if (understood && line.front() == '@') {
            pos = 1;
        } else if (understood && line.front() == '"') {
            understood = ParseQuoted(line, pos, value.name) && !value.name.empty();
        } else {
            understood = false;
        }
        const std::string_view rest =
            understood ? TrimLeft(std::string_view(line).substr(pos)) : std::string_view();
        understood = understood && !rest.empty() && rest.front() == '=';
        if (!understood) {
            ++skipped;
            continue;
        }
        RegistryFileKey& key = contents.keys[current];
        const std::string_view data = Trim(rest.substr(1));
        if (data == "-") {
            key.RemoveValue(value.name);
        } else if (!logical.cut && ParseValueData(data, value)) {
            key.SetValue(std::move(value));
        } else {
            ++skipped;
        }
    }
    if (skippedLines != nullptr) *skippedLines = skipped;
    return contents;
}

std::string FormatRegistryFile(const RegistryFileContents& contents) {
    std::string out;
    out += kHeader;
    out += kLineEnd;
    out += kLineEnd;
    for (const auto& key : contents.keys) {
        out += '[';
        out += key.path;
        out += ']';
        out += kLineEnd;
        for (const auto& value : key.values) AppendValue(out, value);
        out += kLineEnd;
    }
    return out;
}

}  // namespace kavri
