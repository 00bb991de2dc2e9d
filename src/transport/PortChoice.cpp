// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/PortChoice.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "transport/PortNaming.h"

namespace kavri {

std::optional<PortChoice> ParsePortChoice(std::string_view text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    PortChoice choice;
    const bool windowsDevice =
        (text.starts_with("\\\\.\\") || text.starts_with("\\\\?\\")) && text.size() > 4;
    if (text.find('/') != std::string_view::npos || windowsDevice) {
        choice.devicePath = std::string(text);
        return choice;
    }
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "auto") return choice;
    const std::string_view digits = std::string_view(lower).substr(lower.starts_with("com") ? 3 : 0);
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    // Digits only: from_chars would take a sign, and stop before trailing text.
    if (digits.empty() || !std::isdigit(static_cast<unsigned char>(digits.front())) ||
        error != std::errc() || end != digits.data() + digits.size() || !IsComPortNumber(number)) {
        return std::nullopt;
    }
    choice.number = number;
    return choice;
}

std::string PortChoiceText(const PortChoice& choice) {
    if (choice.IsPath()) return choice.devicePath;
    return IsComPortNumber(choice.number) ? "COM" + std::to_string(choice.number) : "auto";
}

}  // namespace kavri
