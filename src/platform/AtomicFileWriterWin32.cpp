// SPDX-License-Identifier: GPL-3.0-or-later
// Atomic replacement on Windows: the bytes go to a temporary file beside the target, are
// flushed to the disk, and the temporary file then takes the target's place in one step -
// ReplaceFileW over an existing file (which keeps its attributes and permissions), or
// MoveFileExW with MOVEFILE_WRITE_THROUGH for a new one.
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/AtomicFileWriter.h"
#include "platform/PathText.h"
#include "platform/WideTextWin32.h"

namespace kavri {
namespace {

constexpr int kMaxLinkDepth = 40;

bool Fail(std::string* error, int errorNumber, const std::string& reason) {
    if (error != nullptr) *error = reason;
    errno = errorNumber;
    return false;
}

bool FailSystem(std::string* error, DWORD systemError) {
    const int errorNumber =
        systemError == ERROR_ACCESS_DENIED                                           ? EACCES
        : systemError == ERROR_FILE_NOT_FOUND || systemError == ERROR_PATH_NOT_FOUND ? ENOENT
        : systemError == ERROR_DISK_FULL                                             ? ENOSPC
                                                                                     : EIO;
    return Fail(error, errorNumber, Win32ErrorText(systemError));
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

std::atomic<unsigned> temporaryCounter{0};

}  // namespace

std::string ParentDirectory(const std::string& path) {
    size_t end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1])) --end;
    if (end == 0) return ".";
    const std::string parent = path.substr(0, end - 1);
    // "C:\name" -> "C:\", "\name" -> "\".
    if (parent.empty() || (parent.size() == 2 && parent[1] == ':')) return path.substr(0, end);
    return parent;
}

bool MakeDirectories(const std::string& path) {
    std::error_code error;
    const std::filesystem::path directory = PathFromText(path);
    std::filesystem::create_directories(directory, error);
    return std::filesystem::is_directory(directory, error);
}

bool ResolveSymbolicLinks(const std::string& path, std::string& target, std::string* error) {
    std::filesystem::path current = PathFromText(path);
    for (int depth = 0; depth <= kMaxLinkDepth; ++depth) {
        std::error_code code;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, code))) {
            target = WideToUtf8(current.wstring());
            return true;
        }
        const std::filesystem::path next = std::filesystem::read_symlink(current, code);
        if (code) return Fail(error, EIO, code.message());
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return Fail(error, ELOOP, "too many levels of symbolic links");
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error) {
    if (path.empty()) return Fail(error, ENOENT, "no file name");
    std::string target;
    if (!ResolveSymbolicLinks(path, target, error)) return false;
    const std::string directory = ParentDirectory(target);
    size_t baseStart = target.size();
    while (baseStart > 0 && !IsSeparator(target[baseStart - 1])) --baseStart;
    const std::string base = target.substr(baseStart);
    if (base.empty() || base == "." || base == "..") return Fail(error, EISDIR, "not a file name");
    if (size > MAXDWORD) return Fail(error, EFBIG, "too large");

    const std::wstring wideTarget = Utf8ToWide(target);
    const DWORD attributes = GetFileAttributesW(wideTarget.c_str());
    const bool replacing = attributes != INVALID_FILE_ATTRIBUTES;
    if (replacing) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            return Fail(error, EINVAL, "not a regular file");
        }
        // Administrators may write anything; a file someone marked read-only stays as it is.
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            return Fail(error, EACCES, "the file is read-only");
        }
    }

    std::wstring temporary;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        const std::string name = (directory == "." ? std::string() : directory + "\\") + "." +
                                 base + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(temporaryCounter.fetch_add(1));
        temporary = Utf8ToWide(name);
        handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            return FailSystem(error, GetLastError());
        }
    }
    if (handle == INVALID_HANDLE_VALUE) return Fail(error, EEXIST, "no temporary file name free");

    DWORD failure = 0;
    DWORD written = 0;
    if (size > 0 && (!WriteFile(handle, data, static_cast<DWORD>(size), &written, nullptr) ||
                     written != size)) {
        failure = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
    }
    if (failure == 0 && !FlushFileBuffers(handle)) failure = GetLastError();
    CloseHandle(handle);
    if (failure == 0) {
        const bool moved =
            replacing ? ReplaceFileW(wideTarget.c_str(), temporary.c_str(), nullptr,
                                     REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                      : MoveFileExW(temporary.c_str(), wideTarget.c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        if (!moved) failure = GetLastError();
    }
    if (failure != 0) {
        DeleteFileW(temporary.c_str());
        return FailSystem(error, failure);
    }
    return true;
}

}  // namespace kavri
