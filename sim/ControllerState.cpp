#include "sim/ControllerState.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>
#include <sstream>

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

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
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
    const std::string temp = path + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error) *error = Errno("cannot create " + temp);
        return false;
    }
    bool ok = WriteAll(fd, out.str()) && ::fsync(fd) == 0;
    if (!ok && error) *error = Errno("cannot write " + temp);
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        if (error) *error = Errno("cannot replace " + path);
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    std::string dir = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/'));
    if (dir.empty()) dir = "/";
    int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool LoadStateFile(const std::string& path, ControllerState* state, bool* missing,
                   std::string* error) {
    *missing = false;
    if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) {
        *missing = true;
        return true;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = Errno("cannot read " + path);
        return false;
    }
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
    if (in.bad()) return bad("read error");
    if (!haveImage) return bad("no image line");
    *state = loaded;
    return true;
}

}  // namespace kavri::sim
