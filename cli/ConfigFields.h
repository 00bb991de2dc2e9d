// The fields of the controller's configuration image by name, as `config` shows and sets them:
// the stored numbers themselves, with the range each field can hold. The filter slots are not
// listed here; `filters` and `filter-edit` handle them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/ControllerConfig.h"

namespace kavri::cli {

struct ConfigField {
    const char* name;
    int offset;  // in the 144-byte image
    int width;   // 1 or 2 bytes, little-endian
    bool isSigned;
    int64_t low;  // the values the field can hold
    int64_t high;
};

// In image order.
const std::vector<ConfigField>& ConfigFields();
const ConfigField* FindConfigField(const std::string& name);

int64_t ReadConfigField(const ControllerConfig& config, const ConfigField& field);
// `value` must lie within the field's range.
void WriteConfigField(ControllerConfig& config, const ConfigField& field, int64_t value);

}  // namespace kavri::cli
