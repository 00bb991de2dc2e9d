// SPDX-License-Identifier: GPL-3.0-or-later
#include "indi/PropertyValues.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "device/ConfigMappings.h"
#include "device/Cp1251.h"
#include "device/NameRule.h"
#include "indi/Mappings.h"

namespace kavri::indi {

namespace {

// The power output choices in the order of their stored values, in English for INDI clients
// (the desktop program keeps its own texts).
constexpr std::array<const char*, 4> kPowerOutputModes = {
    "Always 0", "Always 1", "1 when active", "0 when active"};
static_assert(kPowerOutputModes.size() == kPowerOutputModeTexts.size());

Element Number(std::string name, std::string label, double value, double min, double max,
               std::string format = "%.0f", double step = 1) {
    Element e;
    e.name = std::move(name);
    e.label = std::move(label);
    e.value = value;
    e.min = min;
    e.max = max;
    e.step = step;
    e.format = std::move(format);
    return e;
}

Element Switch(std::string name, std::string label, bool on) {
    Element e;
    e.name = std::move(name);
    e.label = std::move(label);
    e.on = on;
    return e;
}

Element Text(std::string name, std::string label, std::string text) {
    Element e;
    e.name = std::move(name);
    e.label = std::move(label);
    e.text = std::move(text);
    return e;
}

std::string ThermometerLabel(const DeviceSnapshot& snapshot, int index) {
    if (index < kThermometerSlots && !snapshot.thermometerNames[index].empty()) {
        return Cp1251ToUtf8(snapshot.thermometerNames[index]);
    }
    return "T" + std::to_string(index);
}

// The range of a field of the image, for the elements that set it as stored.
std::pair<double, double> RangeOf(const char* name) {
    const ConfigField* field = FindConfigField(name);
    return {static_cast<double>(field->low), static_cast<double>(field->high)};
}

std::string FilterLabelOf(const DeviceSnapshot& snapshot, size_t index) {
    const std::string name = DisplayName(snapshot.filters[index].name, kConfigNameLength);
    return name.empty() ? "Filter " + std::to_string(index + 1) : name;
}

int ThermometerCount(const DeviceSnapshot& snapshot) {
    return std::min<int>(snapshot.config.thermometerCount, kMaxThermometers);
}

// Which element of a switch request is on, -1 when none.
int OnIndex(const Request& request, const std::vector<Element>& elements) {
    for (size_t i = 0; i < request.names.size() && i < request.states.size(); ++i) {
        if (!request.states[i]) continue;
        for (size_t e = 0; e < elements.size(); ++e) {
            if (elements[e].name == request.names[i]) return static_cast<int>(e);
        }
    }
    return -1;
}

bool SwitchIn(const Request& request, std::string_view name, bool fallback) {
    for (size_t i = 0; i < request.names.size() && i < request.states.size(); ++i) {
        if (request.names[i] == name) return request.states[i];
    }
    return fallback;
}

// Every number of the request within its element's range; the reason names the first that is
// not (an element the property does not have is ignored, as INDI does).
bool NumbersInRange(const Request& request, const std::vector<Element>& elements,
                    std::string& reason) {
    for (size_t i = 0; i < request.names.size() && i < request.numbers.size(); ++i) {
        const auto e = std::find_if(elements.begin(), elements.end(),
                                    [&](const Element& el) { return el.name == request.names[i]; });
        if (e == elements.end()) continue;
        const double value = request.numbers[i];
        const bool integral = e->format.find(".0f") != std::string::npos;
        const bool inRange = integral ? WholeNumber(value, static_cast<int64_t>(e->min),
                                                    static_cast<int64_t>(e->max))
                                            .has_value()
                                      : value >= e->min && value <= e->max;
        if (!inRange) {
            char text[160];
            std::snprintf(text, sizeof text, "%s must lie between %g and %g", e->label.c_str(),
                          e->min, e->max);
            reason = text;
            return false;
        }
    }
    return true;
}

int32_t Whole(double value) {
    return WholeNumber(value, INT32_MIN, INT32_MAX).value_or(0);
}

}  // namespace

double NumberIn(const Request& request, std::string_view name, double fallback) {
    for (size_t i = 0; i < request.names.size() && i < request.numbers.size(); ++i) {
        if (request.names[i] == name) return request.numbers[i];
    }
    return fallback;
}

std::string FilterLabel(const DeviceSnapshot& snapshot, int32_t index) {
    std::string label = "Filter " + std::to_string(SlotOfIndex(index));
    if (index >= 0 && static_cast<size_t>(index) < snapshot.filters.size()) {
        label += " (\"" + DisplayName(snapshot.filters[static_cast<size_t>(index)].name,
                                       kConfigNameLength) + "\")";
    }
    return label;
}

int SlotElementIndex(std::string_view element, std::string_view prefix) {
    if (element.substr(0, prefix.size()) != prefix) return -1;
    const std::string_view digits = element.substr(prefix.size());
    int slot = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), slot);
    if (error != std::errc() || end != digits.data() + digits.size() || slot < 1) return -1;
    return slot - 1;
}

std::vector<Element> ElementsFor(std::string_view property, const DeviceSnapshot& s) {
    const ControllerConfig& c = s.config;
    const std::string_view p = property;
    if (p == prop::kTemperature) {
        if (ThermometerCount(s) == 0) return {};
        const int t = s.settings.AscomPreferredTermometer;
        const auto reading =
            t >= 0 && t < kMaxThermometers ? s.readings.temperatures[t] : std::optional<float>{};
        return {Number("TEMPERATURE", "Celsius", reading.value_or(0), -100, 100, "%6.2f", 0)};
    }
    if (p == prop::kThermometers) {
        std::vector<Element> elements;
        for (int i = 0; i < ThermometerCount(s); ++i) {
            elements.push_back(Number("T" + std::to_string(i), ThermometerLabel(s, i),
                                      s.readings.temperatures[i].value_or(0), -100, 100, "%6.2f",
                                      0));
        }
        return elements;
    }
    if (p == prop::kThermometerNames) {
        // Only the thermometers the controller has; the settings store keeps names for four.
        std::vector<Element> elements;
        for (int i = 0; i < std::min(ThermometerCount(s), kThermometerSlots); ++i) {
            elements.push_back(Text("NAME_" + std::to_string(i), "T" + std::to_string(i),
                                    Cp1251ToUtf8(s.thermometerNames[i])));
        }
        return elements;
    }
    if (p == prop::kCompensation) {
        const int on = CompensationChoiceOfSelector(s.readings.compensation.value_or(-1));
        // Off, and each thermometer the controller has that it can compensate with.
        if (ThermometerCount(s) == 0) return {};
        std::vector<Element> elements{Switch(CompensationElement(0), "Off", on == 0)};
        for (int i = 0; i < std::min(ThermometerCount(s), kCompensationChoices - 1); ++i) {
            elements.push_back(
                Switch(CompensationElement(i + 1), ThermometerLabel(s, i), on == i + 1));
        }
        return elements;
    }
    if (p == prop::kFocusShift) {
        std::vector<Element> elements;
        for (size_t i = 0; i < s.filters.size(); ++i) {
            elements.push_back(Number(std::string(kFocusShiftPrefix) + std::to_string(i + 1),
                                      FilterLabelOf(s, i), s.filters[i].focuserPosition, INT16_MIN,
                                      INT16_MAX));
        }
        return elements;
    }
    if (p == prop::kWheelSettings) {
        const WheelSettingsValues w = WheelSettingsFromConfig(c);
        const auto [fewest, most] = RangeOf("filterCount");
        return {Number("FILTER_COUNT", "Filters", w.filterCount, fewest, most),
                Number("WHEEL_SPEED", "Speed, steps/s", w.speed, 10, 1000),
                Number("MAX_STEPS_BETWEEN_FILTERS", "Max. steps/filter",
                       w.maxStepsBetweenFilters, 0, RangeOf("maxStepsBetweenFilters").second)};
    }
    if (p == prop::kWheelOptions) {
        const WheelSettingsValues w = WheelSettingsFromConfig(c);
        return {Switch("HALF_STEP", "Half step", w.halfStep),
                Switch("MOTOR_OFF_WHEN_IDLE", "Motor off when idle", w.motorOffWhenIdle),
                Switch("SENSOR_SEES_HOME", "Filter sensor sees Home", w.sensorSeesHome)};
    }
    if (p == prop::kPowerOutput) {
        const int on = PowerOutputIndex(c.powerOutputMode);
        std::vector<Element> elements;
        for (size_t i = 0; i < kPowerOutputModes.size(); ++i) {
            elements.push_back(
                Switch("MODE_" + std::to_string(i), kPowerOutputModes[i], on == static_cast<int>(i)));
        }
        return elements;
    }
    if (p == prop::kFocuserSettings) {
        const FocuserSettingsValues f = FocuserSettingsFromConfig(c, s.largestDivisor);
        // The idle power is shown one below the stored byte: the same 0..255.
        const auto [idleLow, idleHigh] = RangeOf("focuserIdlePower");
        const auto [fewest, most] = RangeOf("thermometerCount");
        const auto [compLow, compHigh] = RangeOf("thermoCompStepsPerDegree");
        return {Number("IDLE_POWER", "Idle power", f.idlePower, idleLow, idleHigh),
                Number("THERMOMETER_COUNT", "Thermometers", f.thermometerCount, fewest, most),
                Number("COMP_STEPS_PER_DEGREE", "Steps per degree",
                       f.compensationStepsPerDegree, compLow, compHigh),
                Number("TEMPERATURE_AVERAGING", "Temp. averaging", f.temperatureAveraging, 0,
                       1000),
                Number("DIRECTION_CHANGE_THRESHOLD", "Reversal threshold",
                       f.directionChangeThreshold, 0, 1000)};
    }
    if (p == prop::kStepSize) {
        const int chosen = MicrostepChoice(s.largestDivisor, c.focuserStepMicrosteps);
        std::vector<Element> elements;
        const auto divisors = MicrostepDivisors(s.largestDivisor);
        for (size_t i = 0; i < divisors.size(); ++i) {
            elements.push_back(Switch(StepChoiceElement(divisors[i]), MicrostepLabel(divisors[i]),
                                      chosen == static_cast<int>(i)));
        }
        return elements;
    }
    if (p == prop::kDriverSettings) {
        return {Number("POSITION_SHIFT", "Position shift", s.settings.AscomFocusShift,
                       -1000000, 1000000),
                Number("STEP_LENGTH", "Step length, microns", s.settings.StepLenInMicrons, 0.001,
                       10000, "%.3f", 0)};
    }
    if (p == prop::kSpeed) {
        return {Number("FOCUS_SPEED_VALUE", "Focus Speed", c.focuserSpeed, 10, 1000)};
    }
    if (p == prop::kBacklashSteps) {
        return {Number("FOCUS_BACKLASH_VALUE", "Steps", c.focuserBacklash, 0, 1000)};
    }
    if (p == prop::kMax) {
        return {Number("FOCUS_MAX_VALUE", "Steps", s.settings.AscomMaxFocusPos, 1, 1000000)};
    }
    return {};
}

std::optional<ConfigValues> ConfigValuesFor(const Request& request, const DeviceSnapshot& s,
                                            std::string& reason) {
    const std::string& p = request.property;
    const auto elements = ElementsFor(p, s);
    if (!NumbersInRange(request, elements, reason)) return std::nullopt;
    const ControllerConfig& c = s.config;
    const auto field = [](const char* name) { return FindConfigField(name); };

    if (p == prop::kWheelSettings) {
        WheelSettingsValues w = WheelSettingsFromConfig(c);
        w.filterCount =
            static_cast<unsigned>(Whole(NumberIn(request, "FILTER_COUNT", w.filterCount)));
        w.speed = static_cast<unsigned>(Whole(NumberIn(request, "WHEEL_SPEED", w.speed)));
        w.maxStepsBetweenFilters = static_cast<unsigned>(
            Whole(NumberIn(request, "MAX_STEPS_BETWEEN_FILTERS", w.maxStepsBetweenFilters)));
        return WheelSettingsFields(w);
    }
    if (p == prop::kWheelOptions) {
        WheelSettingsValues w = WheelSettingsFromConfig(c);
        w.halfStep = SwitchIn(request, "HALF_STEP", w.halfStep);
        w.motorOffWhenIdle = SwitchIn(request, "MOTOR_OFF_WHEN_IDLE", w.motorOffWhenIdle);
        w.sensorSeesHome = SwitchIn(request, "SENSOR_SEES_HOME", w.sensorSeesHome);
        return WheelSettingsFields(w);
    }
    if (p == prop::kPowerOutput) {
        const int on = OnIndex(request, elements);
        if (on < 0) {
            reason = "Choose one of the power output modes";
            return std::nullopt;
        }
        return ConfigValues{{field("powerOutputMode"), PowerOutputModeStored(on)}};
    }
    if (p == prop::kFocuserSettings) {
        FocuserSettingsValues f = FocuserSettingsFromConfig(c, s.largestDivisor);
        f.idlePower = Whole(NumberIn(request, "IDLE_POWER", f.idlePower));
        f.thermometerCount = static_cast<unsigned>(
            Whole(NumberIn(request, "THERMOMETER_COUNT", f.thermometerCount)));
        f.compensationStepsPerDegree =
            Whole(NumberIn(request, "COMP_STEPS_PER_DEGREE", f.compensationStepsPerDegree));
        f.temperatureAveraging = static_cast<unsigned>(
            Whole(NumberIn(request, "TEMPERATURE_AVERAGING", f.temperatureAveraging)));
        f.directionChangeThreshold = static_cast<unsigned>(
            Whole(NumberIn(request, "DIRECTION_CHANGE_THRESHOLD", f.directionChangeThreshold)));
        // The step size is its own property: the stored byte stays as it is here.
        ConfigValues values = FocuserSettingsFields(f, s.largestDivisor);
        std::erase_if(values, [](const auto& v) {
            return std::string_view(v.first->name) == "focuserStepMicrosteps";
        });
        return values;
    }
    if (p == prop::kStepSize) {
        const int on = OnIndex(request, elements);
        if (on < 0) {
            reason = "Choose one of the step sizes";
            return std::nullopt;
        }
        return ConfigValues{{field("focuserStepMicrosteps"), MicrostepStored(s.largestDivisor, on)}};
    }
    if (p == prop::kSpeed) {
        return ConfigValues{
            {field("focuserSpeed"), Whole(NumberIn(request, "FOCUS_SPEED_VALUE", c.focuserSpeed))}};
    }
    if (p == prop::kBacklashSteps) {
        return ConfigValues{{field("focuserBacklash"),
                             Whole(NumberIn(request, "FOCUS_BACKLASH_VALUE", c.focuserBacklash))}};
    }
    reason = "Not a setting of the controller: " + p;
    return std::nullopt;
}

std::optional<SettingsChange> SettingsChangeFor(const Request& request, const DeviceSnapshot& s,
                                                std::string& reason) {
    const std::string& p = request.property;
    if (!NumbersInRange(request, ElementsFor(p, s), reason)) return std::nullopt;
    if (p == prop::kMax) {
        const int32_t maximum =
            Whole(NumberIn(request, "FOCUS_MAX_VALUE", s.settings.AscomMaxFocusPos));
        return
            [maximum](WheelFocuserDevice& device) { device.settings.AscomMaxFocusPos = maximum; };
    }
    if (p == prop::kDriverSettings) {
        const int32_t shift =
            Whole(NumberIn(request, "POSITION_SHIFT", s.settings.AscomFocusShift));
        const double step = NumberIn(request, "STEP_LENGTH", s.settings.StepLenInMicrons);
        return [shift, step](WheelFocuserDevice& device) {
            device.settings.AscomFocusShift = shift;
            device.settings.StepLenInMicrons = step;
        };
    }
    if (p == prop::kThermometerNames) {
        std::array<std::string, kThermometerSlots> names = s.thermometerNames;
        for (size_t i = 0; i < request.names.size() && i < request.texts.size(); ++i) {
            for (int t = 0; t < kThermometerSlots; ++t) {
                if (request.names[i] != "NAME_" + std::to_string(t)) continue;
                const NameCheck check =
                    CheckTypedName(NameKind::Thermometer, request.texts[i], names[t]);
                if (check.problem != NameProblem::None) {
                    reason = NameRefusal(NameKind::Thermometer, request.texts[i], check);
                    return std::nullopt;
                }
                names[t] = check.bytes;
            }
        }
        return [names](WheelFocuserDevice& device) {
            for (int t = 0; t < kThermometerSlots; ++t) device.TermometerName[t] = names[t];
        };
    }
    reason = "Not a stored setting: " + p;
    return std::nullopt;
}

std::optional<std::vector<std::pair<int, std::string>>> RenamesFor(const Request& request,
                                                                   const DeviceSnapshot& s,
                                                                   std::string& reason) {
    std::vector<std::pair<int, std::string>> renames;
    for (size_t i = 0; i < request.names.size() && i < request.texts.size(); ++i) {
        const int index = SlotElementIndex(request.names[i], kFilterNamePrefix);
        if (index < 0 || static_cast<size_t>(index) >= s.filters.size()) continue;
        const char* stored = s.filters[static_cast<size_t>(index)].name;
        const std::string current(stored, strnlen(stored, kConfigNameLength));
        const NameCheck check = CheckTypedName(NameKind::Filter, request.texts[i], current);
        if (check.problem != NameProblem::None) {
            reason = NameRefusal(NameKind::Filter, request.texts[i], check);
            return std::nullopt;
        }
        if (check.bytes != current) renames.emplace_back(index, check.bytes);
    }
    return renames;
}

std::optional<std::vector<std::pair<int, int32_t>>> FocusShiftsFor(const Request& request,
                                                                   const DeviceSnapshot& s,
                                                                   std::string& reason) {
    std::vector<std::pair<int, int32_t>> shifts;
    for (size_t i = 0; i < request.names.size() && i < request.numbers.size(); ++i) {
        const int index = SlotElementIndex(request.names[i], kFocusShiftPrefix);
        if (index < 0 || static_cast<size_t>(index) >= s.filters.size()) continue;
        const auto value = FocusShiftValue(request.numbers[i], reason);
        if (!value) return std::nullopt;
        shifts.emplace_back(index, *value);
    }
    return shifts;
}

}  // namespace kavri::indi
