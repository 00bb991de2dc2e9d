// SPDX-License-Identifier: GPL-3.0-or-later
// Request parameters: the query of a GET and the form-encoded body of a PUT or POST, decoded
// and looked up by name in any letter case, and the value types Alpaca sends in them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kavri::alpaca {

class Parameters {
public:
    // "a=1&b=x%20y" (application/x-www-form-urlencoded, '+' for a blank). std::nullopt when a
    // percent escape is broken; an empty text gives no parameters.
    static std::optional<Parameters> Parse(std::string_view encoded);

    // The first value of `name`, compared in any letter case; std::nullopt when absent.
    std::optional<std::string> Find(std::string_view name) const;
    const std::vector<std::pair<std::string, std::string>>& All() const { return pairs_; }

private:
    std::vector<std::pair<std::string, std::string>> pairs_;
};

// Percent-decoding with '+' as a blank; std::nullopt for a broken escape.
std::optional<std::string> DecodeFormText(std::string_view text);

// "True"/"False" in any letter case.
std::optional<bool> ParseBoolean(std::string_view text);
// A whole number in the 32-bit range, optionally signed, nothing else around it.
std::optional<int32_t> ParseInt32(std::string_view text);
// ClientTransactionID and ClientID: a 32-bit unsigned number; 0 for anything else.
uint32_t ParseClientNumber(std::optional<std::string> text);

// HTML text with &, <, >, " and ' escaped.
std::string EscapeHtml(std::string_view text);

}  // namespace kavri::alpaca
