// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/Fault.h"

#include <charconv>
#include <vector>

#include "sim/Keywords.h"

namespace kavri::sim {

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return parts;
}

bool ParseInt(std::string_view text, int* value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return false;
    auto result = std::from_chars(text.data(), text.data() + text.size(), *value, base);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

struct KindName {
    std::string_view name;
    FaultKind kind;
};

constexpr KindName kKinds[] = {
    {"silent", FaultKind::kSilent},
    {"drop", FaultKind::kDrop},
    {"short", FaultKind::kShort},
    {"garbage", FaultKind::kGarbage},
    {"pause", FaultKind::kPause},
    {"goto-fail", FaultKind::kGotoFail},
    {"writeee-nak", FaultKind::kWriteEENak},
    {"hangup", FaultKind::kHangUp},
};

bool Fail(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return false;
}

}  // namespace

std::optional<Fault> ParseFault(std::string_view text, std::string* error) {
    std::vector<std::string_view> parts = Split(text, ',');
    Fault fault;
    bool known = false;
    for (const KindName& k : kKinds) {
        if (parts[0] == k.name) {
            fault.kind = k.kind;
            known = true;
        }
    }
    if (!known) {
        Fail(error, "unknown fault kind '" + std::string(parts[0]) + "'");
        return std::nullopt;
    }
    if (fault.kind == FaultKind::kSilent || fault.kind == FaultKind::kPause) {
        fault.times = kUnlimited;
    }
    if (fault.kind == FaultKind::kGotoFail) fault.keyword = "FWGOTO";
    if (fault.kind == FaultKind::kWriteEENak) fault.keyword = "FWwriteEE";
    bool havePause = false;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        std::size_t eq = parts[i].find('=');
        if (eq == std::string_view::npos) {
            Fail(error, "expected key=value, got '" + std::string(parts[i]) + "'");
            return std::nullopt;
        }
        std::string_view key = parts[i].substr(0, eq);
        std::string_view value = parts[i].substr(eq + 1);
        int number = 0;
        if (key == "cmd") {
            if (!IsKeyword(value)) {
                Fail(error, "unknown keyword '" + std::string(value) + "'");
                return std::nullopt;
            }
            if (fault.kind == FaultKind::kGotoFail || fault.kind == FaultKind::kWriteEENak) {
                Fail(error, "this fault has a fixed keyword");
                return std::nullopt;
            }
            fault.keyword = std::string(value);
        } else if (key == "times") {
            if (value == "always") {
                fault.times = kUnlimited;
            } else if (ParseInt(value, &number) && number > 0) {
                fault.times = number;
            } else {
                Fail(error, "times must be a positive number or 'always'");
                return std::nullopt;
            }
        } else if (key == "ms" && fault.kind == FaultKind::kPause) {
            if (!ParseInt(value, &number) || number < 0 || number > 60000) {
                Fail(error, "ms must be 0 to 60000");
                return std::nullopt;
            }
            fault.pauseMs = number;
            havePause = true;
        } else if (key == "byte" && fault.kind == FaultKind::kGarbage) {
            if (!ParseInt(value, &number) || number < 0 || number > 255) {
                Fail(error, "byte must be 0 to 255");
                return std::nullopt;
            }
            fault.garbage = static_cast<unsigned char>(number);
        } else {
            Fail(error,
                 "unexpected option '" + std::string(key) + "' for " + std::string(parts[0]));
            return std::nullopt;
        }
    }
    if (fault.kind == FaultKind::kPause && !havePause) {
        Fail(error, "pause needs ms=N");
        return std::nullopt;
    }
    return fault;
}

const char* FaultSyntaxHelp() {
    return "Fault SPEC: KIND[,key=value]...\n"
           "  silent       swallow commands: no reply, no effect (default times=always)\n"
           "  drop         the command takes effect, its reply is lost\n"
           "  short        the last byte of the reply is lost\n"
           "  garbage      a garbage byte goes out before the reply (byte=N, default 0xA5)\n"
           "  pause        ms=N pause between reply bytes (default times=always)\n"
           "  goto-fail    FWGOTO is answered with \"/\" and the wheel loses its position\n"
           "  writeee-nak  FWwriteEE is answered with \"?\" and nothing is stored\n"
           "  hangup       the line is hung up halfway through the reply (kavri-sim exits)\n"
           "  cmd=KEYWORD  only the replies to that keyword (default: every command)\n"
           "  times=N|always  how many replies it hits (default 1)\n"
           "Example: --fault drop,cmd=FWfocus,times=2 --fault pause,ms=300,cmd=FWreadEE\n";
}

}  // namespace kavri::sim
