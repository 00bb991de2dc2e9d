// Replaces a file's content all at once: readers see the old file or the new one, never half.
#pragma once

#include <cstddef>
#include <string>

namespace kavri {

// Writes the bytes to a temporary file beside `path`, syncs it and renames it over `path`.
// A symbolic link at `path` is followed, so the file it points to is replaced. The new file
// keeps the permission bits of the file it replaces. When anything fails, the temporary file
// is removed, the old file is left untouched and the result is false.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size);

// Creates the directory and any missing parents; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

}  // namespace kavri
