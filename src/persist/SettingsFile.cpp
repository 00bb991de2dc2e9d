// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/SettingsFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "device/CommandExchange.h"
#include "device/ExchangeGuard.h"
#include "device/WheelFocuserDevice.h"
#include "persist/SettingsFileCheck.h"
#include "platform/AtomicFileWriter.h"
#include "platform/RegularFile.h"

namespace kavri {
namespace {

// The most bytes a settings file can hold: the fixed records and four strings at their read
// limit, every byte doubled by the line-end encoding. Nothing longer is a settings file, and
// reading no more keeps a wrongly chosen huge file (or an endless one) from filling memory.
constexpr size_t kMostSettingsFileBytes = 2 * (kSettingsFileNamesOffset + 4 * kFileStringReadLimit);

std::string ErrorText(int error) {
    return std::strerror(error);
}

// Reads the whole of a regular file of at most `limit` bytes, from one open; false with a
// reason otherwise.
bool ReadRegularFile(const std::string& path, size_t limit, std::vector<uint8_t>& bytes,
                     std::string& reason) {
    // Never blocks in the open, so that a FIFO without a writer cannot hold the caller.
    std::FILE* file = OpenRegularFile(path, RegularFileMode::Read, &reason);
    if (file == nullptr) return false;
    // One byte more than allowed tells a file that is too long.
    bytes.assign(limit + 1, 0);
    errno = 0;
    const size_t filled = std::fread(bytes.data(), 1, bytes.size(), file);
    const int error = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
    std::fclose(file);
    bytes.resize(filled);
    if (error != 0) {
        reason = ErrorText(error);
        return false;
    }
    if (filled > limit) {
        reason = "not a settings file: longer than " + std::to_string(limit) + " bytes";
        return false;
    }
    return true;
}

void SetReason(std::string* reason, std::string text) {
    if (reason != nullptr) *reason = std::move(text);
}

}  // namespace

bool SaveSettingsFile(WheelFocuserDevice& device, const std::string& path, std::string* error) {
    SettingsFileContents contents;
    contents.config = device.config;
    contents.settings = device.settings;
    contents.ChangeFilterTimeoutMs = device.ChangeFilterTimeoutMs;
    for (int i = 0; i < 4; ++i) contents.TermometerName[i] = device.TermometerName[i];
    const std::vector<uint8_t> bytes = FormatSettingsFile(contents);
    return WriteFileAtomically(path, bytes.data(), bytes.size(), error);
}

bool ReadSettingsFile(const std::string& path, SettingsFileContents& contents,
                      std::string& reason) {
    std::vector<uint8_t> bytes;
    if (!ReadRegularFile(path, kMostSettingsFileBytes, bytes, reason)) return false;
    const size_t size = bytes.size();
    SettingsFileContents read;
    if (!ParseSettingsFile(std::move(bytes), read)) {
        reason = "not a settings file: " + std::to_string(size) + " bytes, too short";
        return false;
    }
    if (const std::string problem = SettingsFileProblem(read); !problem.empty()) {
        reason = "not a settings file: " + problem;
        return false;
    }
    contents = std::move(read);
    return true;
}

bool LoadSettingsFile(WheelFocuserDevice& device, const SettingsFileContents& contents,
                      std::string* reason) {
    if (const std::string problem = SettingsFileProblem(contents); !problem.empty()) {
        SetReason(reason, "not a settings file: " + problem);
        return false;
    }
    // Taken at once, whether or not the controller accepts the image below.
    device.ChangeFilterTimeoutMs = contents.ChangeFilterTimeoutMs;
    for (int i = 0; i < 4; ++i) device.TermometerName[i] = contents.TermometerName[i];

    {
        ExchangeGuard guard(device);
        if (!guard) {
            SetReason(reason, device.port ? kBusy : kNotConnected);
            return false;
        }
        if (!device.FWwriteEE(0, kConfigSize, contents.config.data())) {
            SetReason(reason, device.failureReason);
            return false;
        }
    }

    device.settings = contents.settings;
    // The probe reads the image back, so `config` shows what the controller accepted.
    device.Probe();
    return true;
}

bool LoadSettingsFile(WheelFocuserDevice& device, const std::string& path, std::string* reason) {
    SettingsFileContents contents;
    std::string why;
    // A file that cannot be read, is cut short or is no settings file changes nothing, not
    // even part of the time limit.
    if (!ReadSettingsFile(path, contents, why)) {
        SetReason(reason, std::move(why));
        return false;
    }
    return LoadSettingsFile(device, contents, reason);
}

}  // namespace kavri
