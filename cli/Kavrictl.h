// SPDX-License-Identifier: GPL-3.0-or-later
// The whole kavrictl run, from the argument list to the exit status, with its output streams
// passed in.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kavri::cli {

// `args` excludes the program name. Returns the exit status (ExitStatus.h).
int RunKavrictl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kavri::cli
