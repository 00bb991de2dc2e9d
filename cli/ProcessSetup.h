// SPDX-License-Identifier: GPL-3.0-or-later
// What kavrictl sets up about its own process before it runs a command, per platform.
#pragma once

#include <string>
#include <vector>

namespace kavri::cli {

// Linux: a reader that goes away early (kavrictl ... | head) must not kill the run before the
// device has disconnected and saved its settings; the failed write is reported instead.
// Windows: the console shows the UTF-8 text kavrictl prints (names in Cyrillic), for this run.
void PrepareProcess();

// The command-line arguments after the program name, as UTF-8 text on Windows (from the
// Unicode command line, whatever the console's code page), as given on Linux.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace kavri::cli
