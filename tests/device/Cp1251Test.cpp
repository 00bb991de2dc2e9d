#include "device/Cp1251.h"

#include <gtest/gtest.h>

#include <string>

namespace kavri {
namespace {

TEST(Cp1251Test, DecodesAndEncodesRealNames) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"Ha", "Ha"},
        {"\xCA\xF0\xE0\xF1\xED\xFB\xE9", "Красный"},
        {"\xD1\xE8\xED\xE8\xE9 OIII", "Синий OIII"},
        {"\xA8\xB8\xB9\x88", "Ёё№€"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Cp1251ToUtf8(c.bytes), c.text);
        std::string encoded;
        ASSERT_TRUE(Utf8ToCp1251(c.text, encoded));
        EXPECT_EQ(encoded, c.bytes);
    }
}

TEST(Cp1251Test, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    std::string back;
    ASSERT_TRUE(Utf8ToCp1251(Cp1251ToUtf8(all), back));
    EXPECT_EQ(back, all);
}

TEST(Cp1251Test, RefusesWhatTheCodePageCannotHold) {
    struct Case {
        std::string text;
        std::string unsupported;
    };
    const Case cases[] = {
        {"Grün", "ü"},
        {"Hα", "α"},
        {"ok\xFF", "\xFF"},        // not UTF-8
        {"\xC0\xAF", "\xC0"},      // overlong '/'
        {"\xED\xA0\x80", "\xED"},  // surrogate
        {"\xD0", "\xD0"},          // cut short
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string out = "kept";
        std::string bad;
        EXPECT_FALSE(Utf8ToCp1251(c.text, out, &bad));
        EXPECT_EQ(out, "kept");
        EXPECT_EQ(bad, c.unsupported);
    }
}

}  // namespace
}  // namespace kavri
