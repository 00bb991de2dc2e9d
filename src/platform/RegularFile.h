// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a file that must be a regular file: the logs, the settings files. The open never
// blocks (a FIFO without a peer cannot stall the caller), and anything that is not a regular
// file - a directory, a FIFO, a device - is refused before a byte is read or written.
#pragma once

#include <cstdio>
#include <string>

namespace kavri {

enum class RegularFileMode {
    Read,      // an existing file, for reading
    Truncate,  // created when missing, else emptied once it is known to be a regular file
    Append,    // created when missing; for reading, and writing at the end only
};

// A binary stream on `path` (the file system's bytes on Linux, UTF-8 text on Windows), to be
// closed with fclose; nullptr on failure, with the reason in `reason` (the system's error text,
// or "not a regular file") and, when nothing was at the path, `missing` set.
std::FILE* OpenRegularFile(const std::string& path, RegularFileMode mode,
                           std::string* reason = nullptr, bool* missing = nullptr);

}  // namespace kavri
