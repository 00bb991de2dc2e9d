// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/SettingsFileFormat.h"

#include <algorithm>
#include <cstring>

namespace kavri {
namespace {

constexpr uint8_t kLineFeed = 0x0A;
constexpr uint8_t kCarriageReturn = 0x0D;

void PutInt32(uint8_t* out, int32_t value) {
    const auto raw = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(raw >> (8 * i));
}

int32_t GetInt32(const uint8_t* in) {
    uint32_t raw = 0;
    for (int i = 3; i >= 0; --i) raw = (raw << 8) | in[i];
    return static_cast<int32_t>(raw);
}

}  // namespace

void SettingsFileWriter::Write(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] == kLineFeed) bytes_.push_back(kCarriageReturn);
        bytes_.push_back(bytes[i]);
    }
}

bool SettingsFileReader::ReadByte(uint8_t& byte) {
    if (position_ >= bytes_.size()) return false;
    byte = bytes_[position_++];
    if (byte == kCarriageReturn && position_ < bytes_.size() && bytes_[position_] == kLineFeed) {
        byte = kLineFeed;
        ++position_;
    }
    return true;
}

size_t SettingsFileReader::Read(void* dest, size_t size) {
    auto* out = static_cast<uint8_t*>(dest);
    size_t count = 0;
    while (count < size && ReadByte(out[count])) ++count;
    return count;
}

void WriteFileString(SettingsFileWriter& file, const std::string& text) {
    file.Write(text.data(), text.size());
    const uint8_t terminator = 0;
    file.Write(&terminator, 1);
}

bool ReadFileString(SettingsFileReader& file, std::string& text) {
    text.clear();
    uint8_t byte = 0;
    for (size_t count = 0; count < kFileStringReadLimit && file.ReadByte(byte); ++count) {
        if (byte == 0) break;
        if (text.size() < kFileStringMaxLength) text.push_back(static_cast<char>(byte));
    }
    return true;
}

void EncodeSettingsBlock(const SettingsBlock& settings, uint8_t (&record)[kSettingsBlockFileSize]) {
    std::memset(record, 0, sizeof record);
    PutInt32(record + 0, settings.ComPort);
    uint64_t raw = 0;
    static_assert(sizeof raw == sizeof settings.StepLenInMicrons);
    std::memcpy(&raw, &settings.StepLenInMicrons, sizeof raw);
    for (int i = 0; i < 8; ++i) record[8 + i] = static_cast<uint8_t>(raw >> (8 * i));
    PutInt32(record + 16, settings.AscomPreferredTermometer);
    PutInt32(record + 20, settings.AscomFocusShift);
    PutInt32(record + 24, settings.AscomMaxFocusPos);
}

SettingsBlock DecodeSettingsBlock(const uint8_t (&record)[kSettingsBlockFileSize]) {
    SettingsBlock settings;
    settings.ComPort = GetInt32(record + 0);
    uint64_t raw = 0;
    for (int i = 7; i >= 0; --i) raw = (raw << 8) | record[8 + i];
    std::memcpy(&settings.StepLenInMicrons, &raw, sizeof raw);
    settings.AscomPreferredTermometer = GetInt32(record + 16);
    settings.AscomFocusShift = GetInt32(record + 20);
    settings.AscomMaxFocusPos = GetInt32(record + 24);
    return settings;
}

std::vector<uint8_t> FormatSettingsFile(const SettingsFileContents& contents) {
    SettingsFileWriter file;
    file.Write(contents.config.data(), kConfigSize);
    uint8_t record[kSettingsBlockFileSize];
    EncodeSettingsBlock(contents.settings, record);
    file.Write(record, sizeof record);
    uint8_t timeout[4];
    PutInt32(timeout, contents.ChangeFilterTimeoutMs);
    file.Write(timeout, sizeof timeout);
    for (const std::string& name : contents.TermometerName) {
        // A longer name would not read back as one record and would shift the names after
        // it; it is cut to what a reader keeps.
        WriteFileString(file, name.substr(0, std::min(name.find('\0'), kFileStringMaxLength)));
    }
    return file.Bytes();
}

bool ParseSettingsFile(std::vector<uint8_t> fileBytes, SettingsFileContents& contents) {
    SettingsFileReader file(std::move(fileBytes));
    SettingsFileContents read;
    uint8_t record[kSettingsBlockFileSize];
    uint8_t timeout[4];
    if (file.Read(read.config.data(), kConfigSize) != kConfigSize ||
        file.Read(record, sizeof record) != sizeof record ||
        file.Read(timeout, sizeof timeout) != sizeof timeout) {
        return false;
    }
    read.settings = DecodeSettingsBlock(record);
    read.ChangeFilterTimeoutMs = GetInt32(timeout);
    for (std::string& name : read.TermometerName) ReadFileString(file, name);
    contents = std::move(read);
    return true;
}

}  // namespace kavri
