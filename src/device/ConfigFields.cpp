// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/ConfigFields.h"

#include <algorithm>
#include <cstddef>

#include "device/TemperatureLog.h"

namespace kavri {

namespace {

constexpr int64_t kU8 = 0xFF;
constexpr int64_t kU16 = 0xFFFF;

}  // namespace

const std::vector<ConfigField>& ConfigFields() {
// Name, offset and width all come from the structure, so a row cannot name a width its member
// does not have.
// clang-format off
#define KAVRI_FIELD(member) \
    #member, static_cast<int>(offsetof(ControllerConfig, member)), \
    static_cast<int>(sizeof(ControllerConfig::member))
// clang-format on
    static const std::vector<ConfigField> fields = {
        // The wheel reports 1 to 10 filters; any other count would make every later connect
        // fail, so it is refused although the byte could hold it.
        {KAVRI_FIELD(filterCount), false, 1, kConfigFilterSlots},
        {KAVRI_FIELD(wheelSpeed), false, 0, kU16},
        {KAVRI_FIELD(wheelMotorOffWhenIdle), false, 0, kU8},
        {KAVRI_FIELD(wheelStepMode), false, 0, kU8},
        {KAVRI_FIELD(filterSensorSeesHome), false, 0, kU8},
        {KAVRI_FIELD(powerOutputMode), false, 0, kU8},
        {KAVRI_FIELD(focuserSpeed), false, 0, kU16},
        {KAVRI_FIELD(focuserIdlePower), false, 0, kU8},
        {KAVRI_FIELD(focuserStepMicrosteps), false, 0, kU8},
        {KAVRI_FIELD(focuserBacklash), false, 0, kU16},
        // The controller accepts at most eight thermometers.
        {KAVRI_FIELD(thermometerCount), false, 0, kMaxThermometers},
        // The coefficient the controller works with, as the focuser settings offer it.
        {KAVRI_FIELD(thermoCompStepsPerDegree), true, -kMaxCompensationSteps,
         kMaxCompensationSteps},
        {KAVRI_FIELD(temperatureAveraging), false, 0, kU16},
        {KAVRI_FIELD(directionChangeThreshold), false, 0, kU16},
        {KAVRI_FIELD(maxStepsBetweenFilters), false, 0, kU16},
    };
#undef KAVRI_FIELD
    return fields;
}

const ConfigField* FindConfigField(std::string_view name) {
    for (const auto& field : ConfigFields()) {
        if (name == field.name) return &field;
    }
    return nullptr;
}

int64_t ReadConfigField(const ControllerConfig& config, const ConfigField& field) {
    const uint8_t* bytes = config.data() + field.offset;
    if (field.width == 1) return bytes[0];
    const auto raw = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    return field.isSigned ? static_cast<int64_t>(static_cast<int16_t>(raw)) : raw;
}

std::optional<ConfigRefusal> CheckConfigValues(const ConfigValues& values) {
    for (const auto& [field, value] : values) {
        if (value < field->low || value > field->high) return ConfigRefusal{field, value};
    }
    return std::nullopt;
}

std::string ConfigRefusalText(const ConfigRefusal& refusal) {
    const ConfigField& field = *refusal.field;
    return std::string(field.name) + " holds " + std::to_string(field.low) + ".." +
           std::to_string(field.high) + ", not " + std::to_string(refusal.value);
}

void PutConfigValues(ControllerConfig& config, const ConfigValues& values) {
    for (const auto& [field, value] : values) {
        uint8_t* bytes = config.data() + field->offset;
        const auto raw = static_cast<uint16_t>(value);
        bytes[0] = static_cast<uint8_t>(raw & 0xFF);
        if (field->width == 2) bytes[1] = static_cast<uint8_t>(raw >> 8);
    }
}

void PutFilterRows(ControllerConfig& config, const std::vector<FilterEntry>& filters) {
    const size_t rows = std::min(filters.size(), static_cast<size_t>(kConfigFilterSlots));
    for (size_t i = 0; i < rows; ++i) {
        const FilterEntry& row = filters[i];
        // A bounded copy that never reads past the row's 20 bytes, terminated or not.
        size_t n = 0;
        for (; n < kConfigNameLength && row.name[n] != '\0'; ++n)
            config.filterNames[i][n] = row.name[n];
        for (; n < kConfigNameLength; ++n) config.filterNames[i][n] = '\0';
        config.filterWheelPositions[i] = static_cast<int16_t>(row.wheelPosition);
        config.filterFocuserPositions[i] = static_cast<int16_t>(row.focuserPosition);
    }
}

}  // namespace kavri
