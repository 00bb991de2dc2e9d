// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/Keywords.h"

#include <algorithm>

namespace kavri::sim {

const std::vector<std::string>& ProtocolKeywords() {
    static const std::vector<std::string> keywords = {
        "FWFILTER",      "FWCOUNT",   "FWHOME",     "FWGOTO",      "FWWRITENAME",   "FWfocus",
        "FWdirFocus",    "FWgoFocus", "FWsetFocus", "FWmoveFocus", "FWtemperature", "FWisAuto",
        "FWautoCompSet", "FWubStep",  "FWzm",       "FWym",        "FWreadEE",      "FWwriteEE",
    };
    return keywords;
}

bool IsKeyword(std::string_view text) {
    const auto& all = ProtocolKeywords();
    return std::find(all.begin(), all.end(), text) != all.end();
}

KeywordMatcher::KeywordMatcher(std::vector<std::string> keywords)
    : keywords_(std::move(keywords)) {}

bool KeywordMatcher::IsPrefixOfLonger(std::string_view text) const {
    return std::any_of(keywords_.begin(), keywords_.end(), [&](const std::string& k) {
        return k.size() > text.size() && std::string_view(k).substr(0, text.size()) == text;
    });
}

bool KeywordMatcher::IsComplete(std::string_view text) const {
    return std::find(keywords_.begin(), keywords_.end(), text) != keywords_.end();
}

std::optional<KeywordMatcher::Match> KeywordMatcher::Feed(std::uint8_t byte,
                                                          std::vector<std::uint8_t>* dropped) {
    pending_.push_back(static_cast<char>(byte));
    while (!pending_.empty()) {
        if (IsPrefixOfLonger(pending_)) return std::nullopt;  // need more bytes
        if (IsComplete(pending_)) {
            Match match{std::move(pending_), {}};
            pending_.clear();
            return match;
        }
        // The newest byte did not extend a complete keyword: that keyword stands, and the
        // byte is its first argument.
        std::string_view head(pending_.data(), pending_.size() - 1);
        if (pending_.size() > 1 && IsComplete(head)) {
            Match match{std::string(head), {static_cast<std::uint8_t>(pending_.back())}};
            pending_.clear();
            return match;
        }
        if (dropped) dropped->push_back(static_cast<std::uint8_t>(pending_.front()));
        pending_.erase(pending_.begin());
    }
    return std::nullopt;
}

bool KeywordMatcher::WaitingToExtend() const {
    return !pending_.empty() && IsComplete(pending_);
}

std::optional<KeywordMatcher::Match> KeywordMatcher::Flush() {
    if (!WaitingToExtend()) return std::nullopt;
    Match match{std::move(pending_), {}};
    pending_.clear();
    return match;
}

}  // namespace kavri::sim
