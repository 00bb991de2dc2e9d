// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/ImageLayout.h"

#include <algorithm>
#include <cstring>

namespace kavri::sim {

std::uint16_t ReadU16(const Image& image, std::size_t at) {
    return static_cast<std::uint16_t>(image[at] | (image[at + 1] << 8));
}

std::int16_t ReadI16(const Image& image, std::size_t at) {
    return static_cast<std::int16_t>(ReadU16(image, at));
}

void WriteU16(Image& image, std::size_t at, std::uint16_t value) {
    image[at] = static_cast<std::uint8_t>(value & 0xFF);
    image[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::string FilterName(const Image& image, int slot) {
    const auto* begin =
        reinterpret_cast<const char*>(&image[offset::kFilterNames + slot * kNameLength]);
    return std::string(begin, strnlen(begin, kNameLength));
}

void SetFilterName(Image& image, int slot, const std::string& name) {
    std::uint8_t* dest = &image[offset::kFilterNames + slot * kNameLength];
    std::memset(dest, 0, kNameLength);
    std::memcpy(dest, name.data(), std::min<std::size_t>(name.size(), kNameLength));
}

namespace {

struct DefaultFilter {
    const char* name;
    std::int16_t wheelCorrection;
    std::int16_t focusOffset;
};

// Names for up to ten slots; the first five are the usual LRGB + H-alpha set.
constexpr DefaultFilter kDefaultFilters[kFilterSlots] = {
    {"L", 0, 0},     {"R", 2, 15},    {"G", -3, 10},   {"B", 1, 25},   {"Ha", 4, 40},
    {"OIII", 0, 35}, {"SII", -1, 45}, {"Clear", 0, 0}, {"Dark", 0, 0}, {"IR", 2, 60},
};

}  // namespace

void SetFilterCount(Image& image, int count) {
    count = std::clamp(count, 1, kFilterSlots);
    image[offset::kFilterCount] = static_cast<std::uint8_t>(count);
    for (int i = 0; i < count; ++i) {
        if (!FilterName(image, i).empty()) continue;
        SetFilterName(image, i, kDefaultFilters[i].name);
        WriteU16(image, offset::kFilterWheelPositions + 2 * i,
                 static_cast<std::uint16_t>(kDefaultFilters[i].wheelCorrection));
        WriteU16(image, offset::kFilterFocuserPositions + 2 * i,
                 static_cast<std::uint16_t>(kDefaultFilters[i].focusOffset));
    }
}

Image DefaultImage() {
    Image image{};
    WriteU16(image, offset::kWheelSpeed, 200);
    image[offset::kWheelMotorOffWhenIdle] = 1;
    image[offset::kWheelStepMode] = 1;  // half step
    image[offset::kFilterSensorSeesHome] = 1;
    image[offset::kPowerOutputMode] = 2;
    WriteU16(image, offset::kFocuserSpeed, 100);
    image[offset::kFocuserIdlePower] = 51;  // shown as 50
    image[offset::kFocuserStepMicrosteps] = 4;
    WriteU16(image, offset::kFocuserBacklash, 20);
    image[offset::kThermometerCount] = 2;
    WriteU16(image, offset::kThermoCompStepsPerDegree, static_cast<std::uint16_t>(-12));
    WriteU16(image, offset::kTemperatureAveraging, 8);
    WriteU16(image, offset::kDirectionChangeThreshold, 10);
    // 120 steps between slots at 200 steps per second: 0.6 s per slot.
    WriteU16(image, offset::kMaxStepsBetweenFilters, 120);
    SetFilterCount(image, 5);
    return image;
}

}  // namespace kavri::sim
