// Saving the device's settings to a ".fws" file and loading one into the device and the
// controller.
#pragma once

#include <string>

#include "persist/SettingsFileFormat.h"

namespace kavri {

class WheelFocuserDevice;

// Writes the device's configuration copy and settings to `path`. The file is replaced only
// once every byte has been written, so a failed save keeps the previous file; false then, with
// the reason in `error` when given.
bool SaveSettingsFile(WheelFocuserDevice& device, const std::string& path,
                      std::string* error = nullptr);

// Loads a settings file: the filter time limit and thermometer names are taken at once; the
// image is sent to the controller with "FWwriteEE" and, once acknowledged, the five settings
// are taken and the device probes again. False for a file that cannot be read or ends before
// the names, a closed or busy port, or an unacknowledged write.
bool LoadSettingsFile(WheelFocuserDevice& device, const std::string& path);

}  // namespace kavri
