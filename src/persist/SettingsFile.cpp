#include "persist/SettingsFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "device/ExchangeGuard.h"
#include "device/WheelFocuserDevice.h"
#include "persist/AtomicFileWriter.h"

namespace kavri {
namespace {

// The most a load can use: the fixed records and four strings at their read limit, every
// byte doubled by the line-end encoding. Reading no more keeps a wrongly chosen huge file
// from filling memory.
constexpr size_t kMostFileBytesUsed = 2 * (kSettingsFileNamesOffset + 4 * kFileStringReadLimit);

// Reads up to `limit` bytes of the file; false when it cannot be opened or read.
bool ReadFilePrefix(const std::string& path, size_t limit, std::vector<uint8_t>& bytes) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bytes.assign(limit, 0);
    size_t filled = 0;
    bool ok = true;
    while (filled < limit) {
        const ssize_t got = read(fd, bytes.data() + filled, limit - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) ok = false;
        if (got <= 0) break;
        filled += static_cast<size_t>(got);
    }
    close(fd);
    bytes.resize(filled);
    return ok;
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

bool LoadSettingsFile(WheelFocuserDevice& device, const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!ReadFilePrefix(path, kMostFileBytesUsed, bytes)) return false;
    SettingsFileContents contents;
    // A file too short for its fixed records changes nothing, not even part of the time limit.
    if (!ParseSettingsFile(std::move(bytes), contents)) return false;

    // Taken at once, whether or not the controller accepts the image below.
    device.ChangeFilterTimeoutMs = contents.ChangeFilterTimeoutMs;
    for (int i = 0; i < 4; ++i) device.TermometerName[i] = contents.TermometerName[i];

    {
        ExchangeGuard guard(device);
        if (!guard) return false;  // closed port, or another exchange is running
        if (!device.FWwriteEE(0, kConfigSize, contents.config.data())) return false;
    }

    device.settings = contents.settings;
    // The probe reads the image back, so `config` shows what the controller accepted.
    device.Probe();
    return true;
}

}  // namespace kavri
