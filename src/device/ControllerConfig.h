// SPDX-License-Identifier: GPL-3.0-or-later
// The controller's 144-byte EEPROM configuration image, byte for byte as it travels on the
// line. Multi-byte fields are little-endian wrappers over bytes, so the layout has no padding
// and reads the same on any host.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kavri {

// A little-endian 16-bit field stored as two bytes.
template <typename T>
struct LittleEndian16 {
    static_assert(sizeof(T) == 2);
    uint8_t bytes[2];

    operator T() const { return static_cast<T>(static_cast<uint16_t>(bytes[0] | (bytes[1] << 8))); }
    LittleEndian16& operator=(T value) {
        const auto raw = static_cast<uint16_t>(value);
        bytes[0] = static_cast<uint8_t>(raw & 0xFF);
        bytes[1] = static_cast<uint8_t>(raw >> 8);
        return *this;
    }
};
using LeUint16 = LittleEndian16<uint16_t>;
using LeInt16 = LittleEndian16<int16_t>;

constexpr int kConfigSize = 144;
constexpr int kConfigFilterSlots = 10;
constexpr int kConfigNameLength = 8;

struct ControllerConfig {
    uint8_t reserved0;                  // not interpreted; preserved as read
    uint8_t filterCount;                // filter positions on the wheel
    LeUint16 wheelSpeed;                // wheel steps per second
    uint8_t wheelMotorOffWhenIdle;      // 1: wheel motor off while idle
    uint8_t wheelStepMode;              // 1: half step, 2: full step
    uint8_t filterSensorSeesHome;       // 1: the filter sensor sees the home mark
    uint8_t powerOutputMode;            // 0..3, see PowerOutputModeTexts
    LeUint16 focuserSpeed;              // focuser steps per second
    uint8_t focuserIdlePower;           // shown value + 1, modulo 256
    uint8_t focuserStepMicrosteps;      // one focuser step in finest microsteps
    LeUint16 focuserBacklash;           // steps
    uint8_t reserved14;                 // not interpreted; preserved as read
    uint8_t thermometerCount;           // thermometers connected, 0..8
    LeInt16 thermoCompStepsPerDegree;   // temperature compensation, signed
    LeUint16 temperatureAveraging;      // 0: averaging off
    LeUint16 directionChangeThreshold;  // steps
    LeInt16 filterWheelPositions[kConfigFilterSlots];
    LeInt16 filterFocuserPositions[kConfigFilterSlots];
    char filterNames[kConfigFilterSlots][kConfigNameLength];  // NUL-padded, unterminated at 8
    LeUint16 maxStepsBetweenFilters;  // largest wheel step count between two filters

    uint8_t* data() { return reinterpret_cast<uint8_t*>(this); }
    const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(this); }
};

static_assert(sizeof(ControllerConfig) == kConfigSize);
static_assert(alignof(ControllerConfig) == 1);
static_assert(offsetof(ControllerConfig, filterCount) == 1);
static_assert(offsetof(ControllerConfig, wheelSpeed) == 2);
static_assert(offsetof(ControllerConfig, wheelMotorOffWhenIdle) == 4);
static_assert(offsetof(ControllerConfig, wheelStepMode) == 5);
static_assert(offsetof(ControllerConfig, filterSensorSeesHome) == 6);
static_assert(offsetof(ControllerConfig, powerOutputMode) == 7);
static_assert(offsetof(ControllerConfig, focuserSpeed) == 8);
static_assert(offsetof(ControllerConfig, focuserIdlePower) == 10);
static_assert(offsetof(ControllerConfig, focuserStepMicrosteps) == 11);
static_assert(offsetof(ControllerConfig, focuserBacklash) == 12);
static_assert(offsetof(ControllerConfig, reserved14) == 14);
static_assert(offsetof(ControllerConfig, thermometerCount) == 15);
static_assert(offsetof(ControllerConfig, thermoCompStepsPerDegree) == 16);
static_assert(offsetof(ControllerConfig, temperatureAveraging) == 18);
static_assert(offsetof(ControllerConfig, directionChangeThreshold) == 20);
static_assert(offsetof(ControllerConfig, filterWheelPositions) == 22);
static_assert(offsetof(ControllerConfig, filterFocuserPositions) == 42);
static_assert(offsetof(ControllerConfig, filterNames) == 62);
static_assert(offsetof(ControllerConfig, maxStepsBetweenFilters) == 142);

}  // namespace kavri
