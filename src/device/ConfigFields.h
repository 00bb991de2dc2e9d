// SPDX-License-Identifier: GPL-3.0-or-later
// The fields of the controller's configuration image by name, with the values the controller
// can hold in each: one table for every front end, so a value one program refuses is refused by
// all of them. The filter slots are not listed here; the filter table writes them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "device/ControllerConfig.h"
#include "device/FilterEntry.h"

namespace kavri {

// The temperature-compensation coefficient the controller works with, in steps per degree:
// -1000..1000.
constexpr int kMaxCompensationSteps = 1000;

struct ConfigField {
    const char* name;  // the field's name in ControllerConfig
    int offset;        // in the 144-byte image
    int width;         // 1 or 2 bytes, little-endian
    bool isSigned;
    int64_t low;  // the values the controller can hold
    int64_t high;
};

// In image order.
const std::vector<ConfigField>& ConfigFields();
// nullptr for a name that is no field.
const ConfigField* FindConfigField(std::string_view name);

// The stored number of a field.
int64_t ReadConfigField(const ControllerConfig& config, const ConfigField& field);

// Values a front end sets, field by field, as given: not yet cut to the field's bytes, so that
// a value the field cannot hold is refused rather than stored as another.
using ConfigValues = std::vector<std::pair<const ConfigField*, int64_t>>;

// The first value outside its field's range.
struct ConfigRefusal {
    const ConfigField* field = nullptr;
    int64_t value = 0;
};
std::optional<ConfigRefusal> CheckConfigValues(const ConfigValues& values);
// "filterCount holds 1..10, not 300".
std::string ConfigRefusalText(const ConfigRefusal& refusal);

// Stores checked values into an image; every other byte stays as it was.
void PutConfigValues(ControllerConfig& config, const ConfigValues& values);

// The filter table's first ten rows into the image's slots: names cut to 8 bytes and padded
// with NULs, the low 16 bits of the positions. Slots beyond the table keep their contents.
void PutFilterRows(ControllerConfig& config, const std::vector<FilterEntry>& filters);

}  // namespace kavri
