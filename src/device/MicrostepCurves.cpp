// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/MicrostepCurves.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "platform/ClassicNumber.h"

namespace kavri {

namespace {

// A quarter period is h microsteps. The controller's tables were tuned with this rounded
// value of pi, so it stays exactly as it is.
constexpr double kHalfPi = 3.1415926 * 0.5;

// The largest text the table field is given, terminator included.
constexpr std::size_t kTableTextCapacity = 1024;

float StepAngle(int half) {
    // The quotient is rounded to single precision; all angles are multiples of it.
    return half > 0 ? static_cast<float>(kHalfPi / half) : 0.0f;
}

// Float-to-integer conversion that cannot overflow: NaN gives 0 and values beyond the 32-bit
// range saturate, so a wild exponent still yields a level within 0..255.
int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// One table number: optional sign, then digits up to the first other character; no digits
// gives 0. Kept modulo 256 while reading, so any length of digits is safe and exact.
uint8_t ParseLevel(std::string_view token) {
    std::size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
        negative = token[i] == '-';
        ++i;
    }
    unsigned value = 0;
    for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
        value = (value * 10 + static_cast<unsigned>(token[i] - '0')) & 0xFFu;
    }
    if (negative) value = (256u - value) & 0xFFu;
    return static_cast<uint8_t>(value);
}

}  // namespace

int EditableMicrostepCount(int count) {
    return count >= 1 && count <= kMicrostepTableCapacity ? count : 0;
}

void GenerateMicrostepShape(MicrostepCurve curve, int count, MicrostepShape& shape) {
    const int n = EditableMicrostepCount(count);
    if (n == 0) return;
    const int h = n / 2;
    const float step = StepAngle(h);
    switch (curve) {
        case MicrostepCurve::Sin:
            for (int i = 0; i < n; ++i) {
                const float angle = static_cast<float>(i) * step;
                shape[i] = static_cast<float>(std::sin(static_cast<double>(angle)));
            }
            break;
        case MicrostepCurve::SinSin3:
            // A flatter top than a sine, still peaking at 1.0 at the quarter period.
            for (int i = 0; i < n; ++i) {
                const float angle = static_cast<float>(i) * step;
                const float angle3 = static_cast<float>(3 * i) * step;
                shape[i] = static_cast<float>(1.1 * std::sin(static_cast<double>(angle)) +
                                              0.1 * std::sin(static_cast<double>(angle3)));
            }
            break;
        case MicrostepCurve::Tan:
            for (int i = 0; i <= h && i < n; ++i) {
                const float angle = static_cast<float>(i) * step;
                const double value = std::tan(static_cast<double>(angle));
                // The single-precision quarter-period angle can land just past pi/2, where the
                // tangent turns hugely negative; that is the top of the curve, so it is full
                // level like every tangent above 1.
                shape[i] = value > 1.0 || value < 0.0 ? 1.0f : static_cast<float>(value);
            }
            for (int j = 1; j <= h - 1; ++j) shape[h + j] = shape[h - j];
            // An odd count leaves the last entry (2h) outside the mirror; it closes the
            // period like the first entry.
            if (n % 2 == 1 && n > 1) shape[n - 1] = shape[0];
            break;
    }
}

double ParseShapeExponent(std::string_view text) {
    const std::string copy(text);
    return StrtodClassic(copy.c_str(), nullptr);
}

void ApplyMicrostepShape(const MicrostepShape& shape, int count, double exponent, bool inverse,
                         uint8_t* table) {
    const int n = EditableMicrostepCount(count);
    const float k = static_cast<float>(std::exp(0.2 * exponent) - 1.0);
    const float d = k != 0.0f ? static_cast<float>(std::log(static_cast<double>(k) + 1.0)) : 1.0f;
    for (int i = 0; i < n; ++i) {
        const double x = shape[i];
        const double y = k == 0.0f ? x : std::log(static_cast<double>(k) * x + 1.0) / d;
        const int32_t m = TruncateToInt32(y * 255.5);
        uint8_t level = m < 0 ? 0 : (m > 255 ? 255 : static_cast<uint8_t>(m));
        if (inverse) level = static_cast<uint8_t>(255 - level);
        table[i] = level;
    }
}

void MirrorMicrostepTable(uint8_t* table, int count) {
    const int n = EditableMicrostepCount(count);
    const int h = n / 2;
    for (int j = 1; j <= h - 1; ++j) table[h + j] = table[h - j];
}

std::string FormatMicrostepTable(const uint8_t* table, int count) {
    const int n = EditableMicrostepCount(count);
    std::string text;
    if (n == 0) return text;
    const int h = n / 2;
    for (int i = 0; i <= h; ++i) {
        char number[8];
        const int length = std::snprintf(number, sizeof number, "%i ", table[i]);
        if (text.size() + static_cast<std::size_t>(length) >= kTableTextCapacity) break;
        text.append(number, static_cast<std::size_t>(length));
    }
    return text;
}

void ParseMicrostepTable(std::string_view text, int count, uint8_t* table) {
    const int n = EditableMicrostepCount(count);
    if (n == 0) return;
    const int h = n / 2;
    text = text.substr(0, kTableTextCapacity - 1);
    int stored = 0;
    std::size_t pos = 0;
    while (stored <= h) {
        while (pos < text.size() && IsBlank(text[pos])) ++pos;
        if (pos >= text.size()) break;
        std::size_t end = pos;
        while (end < text.size() && !IsBlank(text[end])) ++end;
        table[stored++] = ParseLevel(text.substr(pos, end - pos));
        pos = end;
    }
    MirrorMicrostepTable(table, n);
}

bool IsMicrostepTableInverted(const uint8_t* table) {
    return table[0] > 128;
}

void InvertMicrostepTable(uint8_t* table, int count) {
    const int n = EditableMicrostepCount(count);
    for (int i = 0; i < n; ++i) table[i] = static_cast<uint8_t>(255 - table[i]);
}

MicrostepFigures ComputeMicrostepFigures(const uint8_t* table, int count, CurveRect client,
                                         int fieldBottom) {
    const int width = client.right - client.left;
    MicrostepFigures figures;
    figures.square = {client.left, client.bottom - width, client.right, client.bottom};
    figures.band = {client.left, fieldBottom, client.right, client.bottom - width};
    for (CurveRect* area : {&figures.square, &figures.band}) {
        area->left += 10;
        area->right -= 10;
        area->top += 5;
        area->bottom -= 5;
    }

    const int n = EditableMicrostepCount(count);
    if (n == 0) return figures;
    const int h = n / 2;

    const CurveRect& b = figures.band;
    const int bandHeight = b.bottom - b.top;
    figures.levelCurve.reserve(static_cast<std::size_t>(n) + 1);
    for (int i = 0; i < n; ++i) {
        figures.levelCurve.push_back(
            {b.left + (b.right - b.left) * i / n, b.bottom - table[i] * bandHeight / 255});
    }
    figures.levelCurve.push_back({b.right, b.bottom - table[0] * bandHeight / 255});

    // Coil current at microstep k of the full period of 2n: the table level, negative in the
    // second half.
    const bool inverted = IsMicrostepTableInverted(table);
    auto level = [&](int k) {
        const int e = k % (2 * n);
        const int v = inverted ? 255 - table[e % n] : table[e % n];
        return e > n ? -v : v;
    };
    const CurveRect& s = figures.square;
    const int cx = (s.left + s.right) / 2;
    const int cy = (s.top + s.bottom) / 2;
    const int g = (s.right - s.left) / 2 - 5;
    figures.currentPath.reserve(6 * static_cast<std::size_t>(n));
    for (int k = 0; k < 2 * n; ++k) {
        figures.currentPath.push_back({cx, cy});
        figures.currentPath.push_back({cx + g * level(k) / 255, cy + g * level(k + h) / 255});
        figures.currentPath.push_back(
            {cx + g * level(k + 1) / 255, cy + g * level(k + h + 1) / 255});
    }
    return figures;
}

}  // namespace kavri
