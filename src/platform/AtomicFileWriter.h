// SPDX-License-Identifier: GPL-3.0-or-later
// Replaces a file's content all at once: readers see the old file or the new one, never half.
#pragma once

#include <cstddef>
#include <string>

namespace kavri {

// Writes the bytes to a temporary file beside the target (".<name>.tmp-<process id>-<n>"),
// syncs it and renames it over the target. The target is `path`, or the file a chain of symbolic
// links at `path` names: the links stay links, and a dangling one gets its file created, as a shell
// redirection would. The new file keeps the permission bits and owner of the file it replaces.
//
// Refused, with nothing written: a looping link chain, a target that is not a regular file, a
// target without its owner's write permission (checked by mode bits, so that even root does
// not overwrite a file someone protected) and a read-only file system. On any failure the
// temporary file is removed, the old file is left untouched, the result is false and `error`
// (when given) receives a short reason a user can act on, e.g. "the file is read-only"; errno
// is set as well.
//
// On Windows the temporary file takes the target's place with ReplaceFileW (MoveFileExW for a
// new file), and a file with the read-only attribute is refused.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error = nullptr);

// The file a chain of symbolic links at `path` ends in, which need not exist; `path` itself
// when it is no link. False, with the reason in `error`, for a loop or a chain too long, or
// when a link cannot be read.
bool ResolveSymbolicLinks(const std::string& path, std::string& target,
                          std::string* error = nullptr);

// Creates the directory and any missing parents; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

// The directory part of a path: "." for a bare name, "/" for a name at the root.
std::string ParentDirectory(const std::string& path);

}  // namespace kavri
