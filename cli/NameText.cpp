// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/NameText.h"

#include <algorithm>
#include <cstdint>

#include "device/Cp1251.h"
#include "device/NameRule.h"

namespace kavri::cli {

namespace {

// Capital and small letters of windows-1251 outside the contiguous А..Я / а..я block.
constexpr std::pair<uint8_t, uint8_t> kCyrillicPairs[] = {
    {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D},
    {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4},
    {0xA8, 0xB8}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE},
};

uint8_t SmallLetter(uint8_t byte) {
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDF)) return byte + 0x20;
    for (const auto& [capital, small] : kCyrillicPairs) {
        if (byte == capital) return small;
    }
    return byte;
}

}  // namespace

std::string DecodedName(std::string_view stored) {
    return Cp1251ToUtf8(stored);
}

std::string ShownName(std::string_view stored) {
    return Escaped(DecodedName(stored));
}

std::string FoldCase(std::string_view stored) {
    std::string folded(stored);
    for (char& c : folded) c = static_cast<char>(SmallLetter(static_cast<uint8_t>(c)));
    return folded;
}

}  // namespace kavri::cli
