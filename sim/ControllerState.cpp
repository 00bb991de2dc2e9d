// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/ControllerState.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numbers>
#include <sstream>

#include "platform/AtomicFileWriter.h"

namespace kavri::sim {

ControllerState::ControllerState() : microstepTable(SineMicrostepTable(kDefaultMicrosteps)) {}

std::vector<std::uint8_t> SineMicrostepTable(int count) {
    std::vector<std::uint8_t> table;
    for (int i = 0; i < count; ++i) {
        double level = 255.0 * std::sin(std::numbers::pi * i / count);
        table.push_back(static_cast<std::uint8_t>(std::lround(level)));
    }
    return table;
}

namespace {

constexpr const char* kHeader = "# kavri-sim controller state";

std::string Hex(const std::uint8_t* data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text.push_back(digits[data[i] >> 4]);
        text.push_back(digits[data[i] & 0xF]);
    }
    return text;
}

bool Unhex(std::string_view text, std::vector<std::uint8_t>* bytes) {
    if (text.size() % 2 != 0) return false;
    bytes->clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        auto result = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
        if (result.ec != std::errc() || result.ptr != text.data() + i + 2) return false;
        bytes->push_back(static_cast<std::uint8_t>(value));
    }
    return true;
}

bool ParseInt(std::string_view text, int low, int high, int* value) {
    auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && *value >= low &&
           *value <= high;
}

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A state file is a few hundred bytes; anything far larger is not one.
constexpr off_t kMaxStateFileSize = 1 << 20;

// Reads the whole of a regular file. Anything else (a FIFO, a device, a directory) is
// refused without reading: a FIFO would block the emulator, a device might never end.
bool ReadRegularFile(const std::string& path, std::string* text, bool* missing,
                     std::string* error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            *missing = true;
            return true;
        }
        *error = Errno("cannot read " + path);
        return false;
    }
    auto notRegular = [&] {
        *error = path + " is not a regular file";
        return false;
    };
    if (!S_ISREG(info.st_mode)) return notRegular();
    // Opened without blocking, and checked again, in case it was replaced meanwhile.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *error = Errno("cannot read " + path);
        return false;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return notRegular();
    }
    if (info.st_size > kMaxStateFileSize) {
        ::close(fd);
        *error = path + " is too large to be a state file";
        return false;
    }
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || text->size() + static_cast<std::size_t>(n) > kMaxStateFileSize) {
            *error =
                n < 0 ? Errno("cannot read " + path) : path + " is too large to be a state file";
            ::close(fd);
            return false;
        }
        text->append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

}  // namespace

bool SaveStateFile(const std::string& path, const ControllerState& state, std::string* error) {
    std::ostringstream out;
    out << kHeader << "\n"
        << "image=" << Hex(state.image.data(), state.image.size()) << "\n"
        << "filter=" << state.currentFilter << "\n"
        << "position=" << state.focuserPosition << "\n"
        << "direction=" << state.direction << "\n"
        << "compensation=" << state.compensationThermometer << "\n"
        << "table=" << Hex(state.microstepTable.data(), state.microstepTable.size()) << "\n";
    const std::string text = out.str();
    errno = 0;
    if (WriteFileAtomically(path, text.data(), text.size())) return true;
    if (error) {
        *error = "cannot write " + path;
        if (errno != 0) *error += std::string(": ") + std::strerror(errno);
    }
    return false;
}

bool LoadStateFile(const std::string& path, ControllerState* state, bool* missing,
                   std::string* error) {
    *missing = false;
    std::string text;
    std::string why;
    if (!ReadRegularFile(path, &text, missing, &why)) {
        if (error) *error = why;
        return false;
    }
    if (*missing) return true;
    std::istringstream in(text);
    ControllerState loaded = *state;
    bool haveImage = false;
    std::string line;
    int lineNo = 0;
    auto bad = [&](const std::string& why) {
        if (error) *error = path + ":" + std::to_string(lineNo) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) return bad("expected key=value");
        std::string_view key(line.data(), eq);
        std::string_view value(line.data() + eq + 1, line.size() - eq - 1);
        std::vector<std::uint8_t> bytes;
        if (key == "image") {
            if (!Unhex(value, &bytes) || bytes.size() != kImageSize)
                return bad("image must be 144 bytes in hex");
            std::copy(bytes.begin(), bytes.end(), loaded.image.begin());
            haveImage = true;
        } else if (key == "filter") {
            if (!ParseInt(value, -1, kFilterSlots - 1, &loaded.currentFilter))
                return bad("filter must be -1 to 9");
        } else if (key == "position") {
            if (!ParseInt(value, -32768, 32767, &loaded.focuserPosition))
                return bad("position must be a signed 16-bit number");
        } else if (key == "direction") {
            if (!ParseInt(value, -1, 1, &loaded.direction) || loaded.direction == 0)
                return bad("direction must be 1 or -1");
        } else if (key == "compensation") {
            if (!ParseInt(value, -1, kMaxThermometers - 1, &loaded.compensationThermometer))
                return bad("compensation must be -1 to 7");
        } else if (key == "table") {
            if (!Unhex(value, &bytes) || bytes.size() > kMaxMicrosteps)
                return bad("table must be at most 128 bytes in hex");
            loaded.microstepTable = bytes;
        } else {
            return bad("unknown key '" + std::string(key) + "'");
        }
    }
    if (!haveImage) return bad("no image line");
    *state = loaded;
    return true;
}

}  // namespace kavri::sim
