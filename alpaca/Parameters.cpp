// SPDX-License-Identifier: GPL-3.0-or-later
#include "alpaca/Parameters.h"

#include <charconv>

namespace kavri::alpaca {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::string> DecodeFormText(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            decoded += ' ';
        } else if (c == '%') {
            if (i + 2 >= text.size()) return std::nullopt;
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            decoded += c;
        }
    }
    return decoded;
}

std::optional<Parameters> Parameters::Parse(std::string_view encoded) {
    Parameters parameters;
    while (!encoded.empty()) {
        const size_t end = encoded.find('&');
        const std::string_view pair = encoded.substr(0, end);
        encoded = end == std::string_view::npos ? std::string_view() : encoded.substr(end + 1);
        if (pair.empty()) continue;
        const size_t equals = pair.find('=');
        auto name = DecodeFormText(pair.substr(0, equals));
        auto value = DecodeFormText(equals == std::string_view::npos ? std::string_view()
                                                                     : pair.substr(equals + 1));
        if (!name || !value) return std::nullopt;
        parameters.pairs_.emplace_back(std::move(*name), std::move(*value));
    }
    return parameters;
}

std::optional<std::string> Parameters::Find(std::string_view name) const {
    for (const auto& [key, value] : pairs_) {
        if (SameName(key, name)) return value;
    }
    return std::nullopt;
}

std::optional<bool> ParseBoolean(std::string_view text) {
    if (SameName(text, "true")) return true;
    if (SameName(text, "false")) return false;
    return std::nullopt;
}

std::optional<int32_t> ParseInt32(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    }
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

uint32_t ParseClientNumber(std::optional<std::string> text) {
    if (!text || text->empty()) return 0;
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size()) return 0;
    return value;
}

std::string EscapeHtml(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            case '\'': escaped += "&#39;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

}  // namespace kavri::alpaca
