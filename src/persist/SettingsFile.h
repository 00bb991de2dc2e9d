// SPDX-License-Identifier: GPL-3.0-or-later
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

// Reads and checks a settings file without touching any device. The path is opened once and
// without blocking; anything but a regular file is refused (a FIFO would hang the caller, a
// device or a directory is no settings file), at most the bytes a settings file can hold are
// read, and contents that cannot be a settings file are refused (SettingsFileProblem). False
// with `reason`: the system's error text, "not a regular file", or "not a settings file: ..."
// naming what is wrong.
bool ReadSettingsFile(const std::string& path, SettingsFileContents& contents, std::string& reason);

// Loads read contents: the filter time limit and thermometer names are taken at once; the
// image is sent to the controller with "FWwriteEE" and, once acknowledged, the five settings
// are taken and the device probes again. Contents that fail the check change nothing and send
// nothing. False for those, a closed or busy port, or an unacknowledged write, with `reason`
// when given.
bool LoadSettingsFile(WheelFocuserDevice& device, const SettingsFileContents& contents,
                      std::string* reason = nullptr);

// ReadSettingsFile, then the load above; a file that cannot be read or fails the check
// changes nothing.
bool LoadSettingsFile(WheelFocuserDevice& device, const std::string& path,
                      std::string* reason = nullptr);

}  // namespace kavri
