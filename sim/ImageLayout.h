// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// The controller's 144-byte EEPROM configuration image as the emulator keeps it: byte offsets
// of the fields it reads itself, and the factory default it starts from.
namespace kavri::sim {

inline constexpr std::size_t kImageSize = 144;
using Image = std::array<std::uint8_t, kImageSize>;

namespace offset {
inline constexpr std::size_t kFilterCount = 1;
inline constexpr std::size_t kWheelSpeed = 2;
inline constexpr std::size_t kWheelMotorOffWhenIdle = 4;
inline constexpr std::size_t kWheelStepMode = 5;
inline constexpr std::size_t kFilterSensorSeesHome = 6;
inline constexpr std::size_t kPowerOutputMode = 7;
inline constexpr std::size_t kFocuserSpeed = 8;
inline constexpr std::size_t kFocuserIdlePower = 10;
inline constexpr std::size_t kFocuserStepMicrosteps = 11;
inline constexpr std::size_t kFocuserBacklash = 12;
inline constexpr std::size_t kThermometerCount = 15;
inline constexpr std::size_t kThermoCompStepsPerDegree = 16;
inline constexpr std::size_t kTemperatureAveraging = 18;
inline constexpr std::size_t kDirectionChangeThreshold = 20;
inline constexpr std::size_t kFilterWheelPositions = 22;    // int16[10]
inline constexpr std::size_t kFilterFocuserPositions = 42;  // int16[10]
inline constexpr std::size_t kFilterNames = 62;             // char[10][8]
inline constexpr std::size_t kMaxStepsBetweenFilters = 142;
}  // namespace offset

inline constexpr int kFilterSlots = 10;
inline constexpr int kNameLength = 8;
inline constexpr int kMaxThermometers = 8;

std::uint16_t ReadU16(const Image& image, std::size_t at);
std::int16_t ReadI16(const Image& image, std::size_t at);
void WriteU16(Image& image, std::size_t at, std::uint16_t value);

// Name of filter slot `slot` (0..9): up to 8 bytes, cut at the first NUL.
std::string FilterName(const Image& image, int slot);
// Stores up to 8 bytes of `name`, NUL-padded.
void SetFilterName(Image& image, int slot, const std::string& name);

// Default image: 5 filters L, R, G, B, Ha with wheel corrections and focus offsets, half-step
// wheel, a filter change of about 0.6 s per slot, focuser speed 100, backlash 20,
// 2 thermometers.
Image DefaultImage();

// Sets the filter count and gives every slot up to `count` a name (defaults for new slots).
void SetFilterCount(Image& image, int count);

}  // namespace kavri::sim
