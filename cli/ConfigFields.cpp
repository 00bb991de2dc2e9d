#include "cli/ConfigFields.h"

#include <cstddef>

#include "device/TemperatureLog.h"

namespace kavri::cli {

namespace {

constexpr int64_t kU8 = 0xFF;
constexpr int64_t kU16 = 0xFFFF;

}  // namespace

const std::vector<ConfigField>& ConfigFields() {
#define KAVRI_FIELD(member) #member, static_cast < int>(offsetof(ControllerConfig, member))
    static const std::vector<ConfigField> fields = {
        // The wheel reports 1 to 10 filters; any other count would make every later connect
        // fail, so it is refused here although the byte could hold it.
        {KAVRI_FIELD(filterCount), 1, false, 1, kConfigFilterSlots},
        {KAVRI_FIELD(wheelSpeed), 2, false, 0, kU16},
        {KAVRI_FIELD(wheelMotorOffWhenIdle), 1, false, 0, kU8},
        {KAVRI_FIELD(wheelStepMode), 1, false, 0, kU8},
        {KAVRI_FIELD(filterSensorSeesHome), 1, false, 0, kU8},
        {KAVRI_FIELD(powerOutputMode), 1, false, 0, kU8},
        {KAVRI_FIELD(focuserSpeed), 2, false, 0, kU16},
        {KAVRI_FIELD(focuserIdlePower), 1, false, 0, kU8},
        {KAVRI_FIELD(focuserStepMicrosteps), 1, false, 0, kU8},
        {KAVRI_FIELD(focuserBacklash), 2, false, 0, kU16},
        // The controller accepts at most eight thermometers.
        {KAVRI_FIELD(thermometerCount), 1, false, 0, kMaxThermometers},
        {KAVRI_FIELD(thermoCompStepsPerDegree), 2, true, -32768, 32767},
        {KAVRI_FIELD(temperatureAveraging), 2, false, 0, kU16},
        {KAVRI_FIELD(directionChangeThreshold), 2, false, 0, kU16},
        {KAVRI_FIELD(maxStepsBetweenFilters), 2, false, 0, kU16},
    };
#undef KAVRI_FIELD
    return fields;
}

const ConfigField* FindConfigField(const std::string& name) {
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

void WriteConfigField(ControllerConfig& config, const ConfigField& field, int64_t value) {
    uint8_t* bytes = config.data() + field.offset;
    const auto raw = static_cast<uint16_t>(value);
    bytes[0] = static_cast<uint8_t>(raw & 0xFF);
    if (field.width == 2) bytes[1] = static_cast<uint8_t>(raw >> 8);
}

}  // namespace kavri::cli
