// Why a serial device could not be opened, in words for the client.
#pragma once

#include <string>

namespace kavri::indi {

// "no such device", "in use by another program", "permission denied", or an empty string when
// the device can be had (so a failed connection there means no controller answered).
std::string PortRefusalReason(const std::string& devicePath);

}  // namespace kavri::indi
