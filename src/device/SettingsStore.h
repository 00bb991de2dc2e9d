// SPDX-License-Identifier: GPL-3.0-or-later
// Typed settings values under key paths, as a registry holds them. The interface says nothing
// about where they are kept: a text file on Linux, the registry itself on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavri {

enum class SettingsValueType { Dword, Binary, String };

// A stored value: its type and its bytes. A Dword is 4 bytes little-endian; a String holds its
// characters followed by the terminating NUL, as the registry stores it. String values are
// UTF-8 text, so that a store can hand them to a Unicode API; whoever holds text in another
// encoding converts it on the way in and out.
struct SettingsValue {
    SettingsValueType type = SettingsValueType::Binary;
    std::vector<uint8_t> data;

    static SettingsValue Dword(int32_t value);
    static SettingsValue Binary(const void* bytes, size_t size);
    static SettingsValue String(const std::string& text);
};

// Key paths use backslashes, relative to HKEY_LOCAL_MACHINE, e.g.
// "Software\\ASCOM\\Focuser Drivers\\Orvanta.Focuser".
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Creates the key when it is missing; false when the key cannot be had.
    virtual bool CreateKey(const std::string& keyPath) = 0;

    // Stores a value under an existing or new key; false on failure.
    virtual bool SetValue(const std::string& keyPath, const std::string& name,
                          const SettingsValue& value) = 0;

    // Looks a value up; false when the key or the value does not exist.
    virtual bool QueryValue(const std::string& keyPath, const std::string& name,
                            SettingsValue& value) const = 0;

    // Tells the store what its caller took for a value the store does not hold (a default).
    // Setting that content later is then no change of the caller's own: a store shared with
    // other programs writes it only where the value is still missing, never over a value
    // another program stored meanwhile. Ignored for a value the store holds.
    virtual void AssumeMissingValue(const std::string& keyPath, const std::string& name,
                                    const SettingsValue& value) {
        (void)keyPath, (void)name, (void)value;
    }

    // Makes every value set so far durable (closing the key); false when that failed.
    virtual bool Flush() = 0;

    // Where the values are kept, for messages: the file, or the registry key.
    virtual std::string Location() const { return {}; }

    // What the user must be told about where saved values go: empty while they go where the
    // other programs that share them look. A store that had to keep them elsewhere (the
    // registry store, when the machine-wide key refused the write) says so and why.
    virtual std::string StorageWarning() const { return {}; }

    // Problems met while reading the store (lines it could not understand, a file it could
    // not read), one line of text each, for its user to report once on a diagnostic log.
    // Each is handed out by one call only; a store without such problems has none.
    virtual std::vector<std::string> TakeNotices() { return {}; }
};

}  // namespace kavri
