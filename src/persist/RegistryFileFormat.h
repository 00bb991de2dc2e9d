// SPDX-License-Identifier: GPL-3.0-or-later
// The text format of registry export files ("Windows Registry Editor Version 5.00"): sections
// named by full key paths, one value per line. Parsing is forgiving, so a file a user edited
// by hand, or one that was cut short, still yields every value that can be read.
//
// Contents read from a file remember the file's lines. Writing them back edits the file in
// place: lines of values that did not change, comments, blank lines and lines the reader did
// not understand come out exactly as they were read; a changed value's line is rewritten
// where it stood; new values follow the last value of their key's section; new keys go at
// the end of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kavri {

// Value kinds as the registry numbers them; any other number read from a file is kept as is.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

struct RegistryFileValue {
    std::string name;  // empty: the key's default value, written as @
    uint32_t kind = kRegBinary;
    // For the two string kinds: the text with its terminating NUL, as a registry string value
    // is stored; for every other kind the raw data.
    std::vector<uint8_t> data;

    bool SameContent(const RegistryFileValue& other) const {
        return kind == other.kind && data == other.data;
    }
};

// A line the reader could not understand; it stays in the file as it is.
struct RegistrySkippedLine {
    size_t lineNumber = 0;  // 1-based number of its first line in the file
    std::string text;       // without leading blanks and line end
};

class RegistryFileContents;

class RegistryFileKey {
public:
    const std::string& Path() const { return path_; }
    // In the order they were first set.
    const std::vector<RegistryFileValue>& Values() const { return values_; }
    const RegistryFileValue* FindValue(std::string_view name) const;
    // Replaces a value of the same name in place (the name keeps its first spelling, as in
    // the registry), or appends it.
    void SetValue(RegistryFileValue value);

private:
    friend class RegistryFileContents;
    friend class RegistryFileParser;
    friend std::string FormatRegistryFile(const RegistryFileContents& contents);
    static constexpr size_t kNoLine = SIZE_MAX;

    // SetValue for a value read from line `line` of the file, or set by a user (kNoLine).
    void SetFromLine(RegistryFileValue value, size_t line);
    void RemoveValue(std::string_view name);

    std::string path_;
    std::vector<RegistryFileValue> values_;
    // Per value: the file line it was read from (kNoLine for a new one), and whether it has
    // been set since.
    std::vector<size_t> sourceLines_;
    std::vector<bool> edited_;
    std::unordered_map<std::string, size_t> index_;  // case-folded name -> position
    size_t insertAfter_ = kNoLine;  // last header or value line of the key's last section
    bool removed_ = false;          // deleted by a "[-path]" line further on
};

class RegistryFileContents {
public:
    RegistryFileContents() = default;
    RegistryFileContents(RegistryFileContents&&) = default;
    RegistryFileContents& operator=(RegistryFileContents&&) = default;
    RegistryFileContents(const RegistryFileContents&) = default;
    RegistryFileContents& operator=(const RegistryFileContents&) = default;

    // Keys in the order they were first seen or created.
    std::vector<const RegistryFileKey*> Keys() const;
    const RegistryFileKey* FindKey(std::string_view path) const;
    RegistryFileKey* FindKey(std::string_view path);
    RegistryFileKey& FindOrAddKey(std::string_view path);

    const std::vector<RegistrySkippedLine>& SkippedLines() const { return skipped_; }

private:
    friend class RegistryFileParser;
    friend std::string FormatRegistryFile(const RegistryFileContents& contents);

    // Removes the key and every key below it.
    void RemoveKeyTree(std::string_view path);

    std::vector<RegistryFileKey> keys_;
    std::map<std::string, size_t> index_;  // case-folded path -> position of the live key
    std::vector<std::string> lines_;       // the file as read, each line with its line end
    std::vector<RegistrySkippedLine> skipped_;
    std::string lineEnd_ = "\r\n";  // the file's own, for lines written into it
    bool hasHeader_ = false;
};

// Key paths and value names compare as the registry compares them: ignoring ASCII case.
bool SameRegistryName(std::string_view a, std::string_view b);

// Reads a whole file: UTF-8 with or without a byte-order mark, or UTF-16LE with its mark;
// CR LF or LF line ends; hex values continued over several lines with a trailing backslash.
// Never fails: a line that cannot be understood is kept, skipped and listed in SkippedLines.
RegistryFileContents ParseRegistryFile(std::string_view bytes);

// Writes UTF-8 text, the file's lines edited in place as described above; contents not read
// from a file get the header and CR LF line ends, long hex values wrapped as the export tool
// does. Strings that are not printable UTF-8 are written as hex(1) so that every byte survives.
std::string FormatRegistryFile(const RegistryFileContents& contents);

// Registry strings are UTF-16 inside the registry. These convert between our single-byte
// (UTF-8) text and UTF-16LE bytes; a byte that is not part of valid UTF-8 travels as the
// unpaired surrogate U+DC00 + byte, so any byte sequence converts back unchanged.
std::vector<uint8_t> BytesToUtf16Le(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> Utf16LeToBytes(const uint8_t* data, size_t size);

}  // namespace kavri
