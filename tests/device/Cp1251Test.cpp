#include "device/Cp1251.h"

#include <gtest/gtest.h>

#include <string>

namespace kavri {
namespace {

TEST(Cp1251, NamesTravelBothWaysAndWhatTheCodePageCannotHoldIsRefused) {
    const std::pair<std::string, std::string> names[] = {
        {"Ha", "Ha"},
        {"\xCA\xF0\xE0\xF1\xED\xFB\xE9", "Красный"},
        {"\xD1\xE8\xED\xE8\xE9 OIII", "Синий OIII"},
        {"\xA8\xB8\xB9\x88", "Ёё№€"},
    };
    for (const auto& [bytes, text] : names) {
        EXPECT_EQ(Cp1251ToUtf8(bytes), text);
        std::string encoded;
        EXPECT_TRUE(Utf8ToCp1251(text, encoded));
        EXPECT_EQ(encoded, bytes);
    }
    std::string all, back;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    ASSERT_TRUE(Utf8ToCp1251(Cp1251ToUtf8(all), back));
    EXPECT_EQ(back, all);

    const std::pair<std::string, std::string> refused[] = {
        {"Grün", "ü"},
        {"Hα", "α"},
        {"ok\xFF", "\xFF"},        // not UTF-8
        {"\xC0\xAF", "\xC0"},      // overlong '/'
        {"\xED\xA0\x80", "\xED"},  // surrogate
        {"\xD0", "\xD0"},          // cut short
    };
    for (const auto& [text, unsupported] : refused) {
        std::string out = "kept", bad;
        EXPECT_FALSE(Utf8ToCp1251(text, out, &bad)) << text;
        EXPECT_EQ(out, "kept");
        EXPECT_EQ(bad, unsupported);
    }
}

}  // namespace
}  // namespace kavri
