// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The command keywords the controller understands, and the recogniser that finds them in the
// byte stream from the host.
namespace kavri::sim {

// Every keyword of the protocol, host to controller ("FWmoveFocus" travels the other way
// but is recognised too, so an echoed frame does not derail the stream).
const std::vector<std::string>& ProtocolKeywords();
bool IsKeyword(std::string_view text);

// Finds keywords in a byte stream. Bytes that start no keyword are dropped; after a mismatch
// the recogniser resynchronises on the next byte that can start one, without losing a "FW"
// that arrived inside the broken fragment. A complete keyword that is also the start of a
// longer one stays pending until the next byte decides, or until the caller's inter-byte
// time-out calls Flush().
class KeywordMatcher {
public:
    explicit KeywordMatcher(std::vector<std::string> keywords = ProtocolKeywords());

    struct Match {
        std::string keyword;
        // Bytes fed after the keyword that belong to its arguments (at most one, when a
        // byte ended a keyword that could have been extended).
        std::vector<std::uint8_t> leftover;
    };

    // Feeds one byte; returns a keyword once it is certain. Dropped bytes are appended to
    // *dropped when given.
    std::optional<Match> Feed(std::uint8_t byte, std::vector<std::uint8_t>* dropped = nullptr);

    // True while the pending bytes are a complete keyword that a longer one could extend.
    bool WaitingToExtend() const;

    // Inter-byte time-out: a pending complete keyword is taken as it stands.
    std::optional<Match> Flush();

    std::size_t Pending() const { return pending_.size(); }

private:
    bool IsPrefixOfLonger(std::string_view text) const;
    bool IsComplete(std::string_view text) const;

    std::vector<std::string> keywords_;
    std::string pending_;
};

}  // namespace kavri::sim
