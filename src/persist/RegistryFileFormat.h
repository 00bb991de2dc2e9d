// The text format of registry export files ("Windows Registry Editor Version 5.00"): sections
// named by full key paths, one value per line. Parsing is forgiving, so a file a user edited
// by hand, or one that was cut short, still yields every value that can be read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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
    // For the two string kinds: the single-byte text with its terminating NUL, as a registry
    // string value is stored; for every other kind the raw data.
    std::vector<uint8_t> data;
};

struct RegistryFileKey {
    std::string path;  // from the root, e.g. "HKEY_LOCAL_MACHINE\Software\ASCOM"
    std::vector<RegistryFileValue> values;

    RegistryFileValue* FindValue(std::string_view name);
    const RegistryFileValue* FindValue(std::string_view name) const;
    // Replaces a value of the same name in place, or appends it.
    void SetValue(RegistryFileValue value);
    void RemoveValue(std::string_view name);
};

struct RegistryFileContents {
    std::vector<RegistryFileKey> keys;  // in the order they were first seen or created

    RegistryFileKey* FindKey(std::string_view path);
    const RegistryFileKey* FindKey(std::string_view path) const;
    RegistryFileKey& FindOrAddKey(std::string_view path);
    // Removes the key and every key below it.
    void RemoveKeyTree(std::string_view path);
};

// Key paths and value names compare as the registry compares them: ignoring ASCII case.
bool SameRegistryName(std::string_view a, std::string_view b);

// Reads a whole file: UTF-8 with or without a byte-order mark, or UTF-16LE with its mark;
// CR LF or LF line ends; hex values continued over several lines with a trailing backslash.
// Never fails: a line that cannot be understood is skipped and counted in `skippedLines`.
RegistryFileContents ParseRegistryFile(std::string_view bytes, size_t* skippedLines = nullptr);

// Writes UTF-8 text with CR LF line ends, long hex values wrapped as the export tool does.
// Strings that are not printable UTF-8 are written as hex(1) so that every byte survives.
std::string FormatRegistryFile(const RegistryFileContents& contents);

// Registry strings are UTF-16 inside the registry. These convert between our single-byte
// (UTF-8) text and UTF-16LE bytes; a byte that is not part of valid UTF-8 travels as the
// unpaired surrogate U+DC00 + byte, so any byte sequence converts back unchanged.
std::vector<uint8_t> BytesToUtf16Le(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> Utf16LeToBytes(const uint8_t* data, size_t size);

}  // namespace kavri
