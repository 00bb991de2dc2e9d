// SPDX-License-Identifier: GPL-3.0-or-later
// The usage summary (after a usage error) and the full manual page (--help).
#pragma once

namespace kavri::cli {

extern const char* const kUsageText;
extern const char* const kManualText;

}  // namespace kavri::cli
