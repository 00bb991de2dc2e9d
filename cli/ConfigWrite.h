// Changing fields of the controller's configuration image, as `config FIELD=VALUE` does: only
// the named fields change, the whole image goes out with "FWwriteEE" (filter rows included),
// a probe reads it back, and every field must hold its new value.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "cli/Command.h"
#include "cli/ConfigFields.h"
#include "device/WheelFocuserDevice.h"

namespace kavri::cli {

using ConfigAssignments = std::vector<std::pair<const ConfigField*, int64_t>>;

// std::nullopt when the controller took and kept every value; otherwise the failure (exit 1).
std::optional<Outcome> WriteConfigFields(WheelFocuserDevice& device,
                                         const ConfigAssignments& assignments);

}  // namespace kavri::cli
