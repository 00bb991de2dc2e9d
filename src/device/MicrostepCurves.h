// SPDX-License-Identifier: GPL-3.0-or-later
// Arithmetic of the focuser's microstep current table: the generated curve shapes, the
// exponent bend, inversion, the text form the user edits, and the geometry of the two
// figures that show the table. No UI here, so all of it is tested without widgets.
//
// The table holds n levels (0..255) over half an electrical period and is kept symmetric
// about h = n / 2: t[h + j] = t[h - j] for j = 1 .. h - 1.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavri {

constexpr int kMicrostepTableCapacity = 128;

using MicrostepShape = std::array<float, kMicrostepTableCapacity>;

// The number of table entries the editor works on. Counts outside 1..128 (-1 = no table
// read, 0 = empty, or more than the table can hold) give 0: nothing is shown, generated,
// parsed or drawn, so no entry outside the table is ever touched.
int EditableMicrostepCount(int count);

enum class MicrostepCurve { Sin, Tan, SinSin3 };

// Fills shape[0 .. n-1] with the chosen curve, values 0.0 to 1.0. Entries past n keep their
// values. Does nothing for a count that EditableMicrostepCount rejects.
void GenerateMicrostepShape(MicrostepCurve curve, int count, MicrostepShape& shape);

// Reads the exponent text the way the C library reads a decimal number: leading white
// space, optional sign, digits with optional point and exponent, stopping at the first
// character that cannot continue it; 0 when no number starts the text. The decimal point is
// always '.', whatever the process locale.
double ParseShapeExponent(std::string_view text);

// Levels from a shape: y = ln(1 + K x) / ln(1 + K) with K = e^(0.2 v) - 1, scaled by 255.5,
// truncated and clamped to 0..255, inverted (255 - level) when `inverse`. Writes
// table[0 .. n-1].
void ApplyMicrostepShape(const MicrostepShape& shape, int count, double exponent, bool inverse,
                         uint8_t* table);

// Entries h+1 .. n-1 become the mirror of entries h-1 .. 1.
void MirrorMicrostepTable(uint8_t* table, int count);

// The text the user edits: entries 0 .. h, each as a decimal number followed by one blank.
std::string FormatMicrostepTable(const uint8_t* table, int count);

// Reads up to h + 1 numbers from the text into table[0..], each stored modulo 256, then
// mirrors. Entries without a number in the text keep their values. Numbers are separated by
// any run of white space; a token that does not start with a number counts as 0.
void ParseMicrostepTable(std::string_view text, int count, uint8_t* table);

// A table counts as inverted when its first level is above 128.
bool IsMicrostepTableInverted(const uint8_t* table);

// Replaces every level t[i] by 255 - t[i], i = 0 .. n-1.
void InvertMicrostepTable(uint8_t* table, int count);

struct CurvePoint {
    int x;
    int y;
    bool operator==(const CurvePoint&) const = default;
};

struct CurveRect {
    int left;
    int top;
    int right;
    int bottom;
    bool operator==(const CurveRect&) const = default;
};

// What the table dialog draws below its text field, in client pixels.
struct MicrostepFigures {
    CurveRect band;    // white area of the level curve
    CurveRect square;  // white area of the current path
    // One polyline of n + 1 points: the levels across the band, closed by the first level
    // again at the right edge.
    std::vector<CurvePoint> levelCurve;
    // 2n triples (centre, coil currents at microstep k, at microstep k + 1), drawn as one
    // path: move to the first point of each triple, lines to the other two. A sine table
    // gives a circle with a spoke to every microstep.
    std::vector<CurvePoint> currentPath;
};

// Geometry of both figures for a client rectangle whose text field ends at `fieldBottom`.
// The band lies between the field and a square as wide as the client area at its bottom;
// both are shrunk by 10 pixels left and right and 5 at top and bottom. With a count that
// EditableMicrostepCount rejects, the areas are given but no lines.
MicrostepFigures ComputeMicrostepFigures(const uint8_t* table, int count, CurveRect client,
                                         int fieldBottom);

}  // namespace kavri
