// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Faults the emulator can be told to inject into its replies.
namespace kavri::sim {

enum class FaultKind {
    kSilent,      // commands are swallowed: no reply and no effect
    kDrop,        // the command takes effect but its reply is lost
    kShort,       // the last byte of the reply is lost
    kGarbage,     // one garbage byte goes out before the reply
    kPause,       // a pause of `pauseMs` between consecutive reply bytes
    kGotoFail,    // "FWGOTO" is answered with "/" and the wheel loses its position
    kWriteEENak,  // "FWwriteEE" is answered with a byte other than "!" and nothing is stored
    kHangUp,      // the line is hung up halfway through the reply
};

inline constexpr int kUnlimited = -1;

struct Fault {
    FaultKind kind = FaultKind::kDrop;
    std::string keyword;           // empty: every command
    int times = 1;                 // how many commands it hits; kUnlimited for all
    int pauseMs = 0;               // kPause only
    unsigned char garbage = 0xA5;  // kGarbage only
};

// Parses the command-line form "KIND[,key=value]...":
//   KIND  silent | drop | short | garbage | pause | goto-fail | writeee-nak | hangup
//   cmd=KEYWORD   only replies to that keyword (default: every command)
//   times=N|always  how many replies it hits (default: 1; "silent" and "pause": always)
//   ms=N          pause length in milliseconds ("pause" only, required)
//   byte=N        garbage byte value, decimal or 0x.. ("garbage" only, default 0xA5)
// Returns nothing and sets *error on a malformed text.
std::optional<Fault> ParseFault(std::string_view text, std::string* error);

// The syntax above, for --help.
const char* FaultSyntaxHelp();

}  // namespace kavri::sim
