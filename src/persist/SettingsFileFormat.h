// SPDX-License-Identifier: GPL-3.0-or-later
// The layout of the ".fws" settings file: the controller's configuration image, the port and
// driver settings, the filter change time limit and the four thermometer names, as
// consecutive records without header or checksum. Every 0x0A of the records is stored as
// 0x0D 0x0A, as a Windows text-mode stream writes it, so a file is byte for byte the same
// whichever system wrote it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/ControllerConfig.h"
#include "device/SettingsBlock.h"

namespace kavri {

constexpr size_t kSettingsBlockFileSize = 32;
// Offset of the first thermometer name in the records (before the line-end encoding).
constexpr size_t kSettingsFileNamesOffset = kConfigSize + kSettingsBlockFileSize + 4;
// ReadFileString takes at most this many bytes for one string; the text keeps one less, the
// room its terminator needs in the original reading buffer.
constexpr size_t kFileStringReadLimit = 1024;
constexpr size_t kFileStringMaxLength = kFileStringReadLimit - 1;

// Collects the file's bytes, applying the line-end encoding.
class SettingsFileWriter {
public:
    void Write(const void* data, size_t size);
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// Reads the records back from the file's bytes, undoing the line-end encoding: a 0x0D 0x0A
// pair is one 0x0A; a lone 0x0D, and 0x1A too, are ordinary bytes.
class SettingsFileReader {
public:
    explicit SettingsFileReader(std::vector<uint8_t> fileBytes) : bytes_(std::move(fileBytes)) {}
    // Returns how many record bytes were read: fewer than `size` only at the end of the file.
    size_t Read(void* dest, size_t size);
    bool ReadByte(uint8_t& byte);

private:
    std::vector<uint8_t> bytes_;
    size_t position_ = 0;
};

// Writes the text's characters and one NUL byte.
void WriteFileString(SettingsFileWriter& file, const std::string& text);
// Reads one string record: up to a NUL (consumed), the end of the file, or 1024 characters,
// of which the text keeps the first 1023; any rest of a longer string starts the next
// record. Never fails.
bool ReadFileString(SettingsFileReader& file, std::string& text);

// The 32-byte record of the five settings, little-endian; reserved bytes are written as zero
// and ignored when read.
void EncodeSettingsBlock(const SettingsBlock& settings, uint8_t (&record)[kSettingsBlockFileSize]);
SettingsBlock DecodeSettingsBlock(const uint8_t (&record)[kSettingsBlockFileSize]);

// Everything a settings file holds.
struct SettingsFileContents {
    ControllerConfig config{};
    SettingsBlock settings;
    int32_t ChangeFilterTimeoutMs = 1000;
    std::string TermometerName[4];
};

// The file's bytes, line-end encoding applied.
std::vector<uint8_t> FormatSettingsFile(const SettingsFileContents& contents);
// False when the records end before the first name; names cut off by the end of the file
// come out empty.
bool ParseSettingsFile(std::vector<uint8_t> fileBytes, SettingsFileContents& contents);

}  // namespace kavri
