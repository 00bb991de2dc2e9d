#include "cli/ConfigWrite.h"

#include <string>

namespace kavri::cli {

std::optional<Outcome> WriteConfigFields(WheelFocuserDevice& device,
                                         const ConfigAssignments& assignments) {
    for (const auto& [field, value] : assignments) WriteConfigField(device.config, *field, value);
    if (!device.WriteFilterTable()) {
        return Outcome::Failure(kExitFailed, "the controller did not accept the configuration");
    }
    if (!device.Probe()) {
        return Outcome::Failure(kExitFailed,
                                "the configuration was written but could not be read back");
    }
    for (const auto& [field, value] : assignments) {
        const int64_t kept = ReadConfigField(device.config, *field);
        if (kept != value) {
            return Outcome::Failure(kExitFailed, "the controller kept " + std::string(field->name) +
                                                     "=" + std::to_string(kept) + ", not " +
                                                     std::to_string(value));
        }
    }
    return std::nullopt;
}

}  // namespace kavri::cli
