// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "platform/RegularFile.h"
#include "platform/WideTextWin32.h"

namespace kavri {

std::FILE* OpenRegularFile(const std::string& path, RegularFileMode mode, std::string* reason,
                           bool* missing) {
    const auto fail = [&](DWORD error, const char* text) -> std::FILE* {
        if (reason) *reason = text ? text : Win32ErrorText(error);
        if (missing) *missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT
                : error == ERROR_ACCESS_DENIED                                 ? EACCES
                                                                               : EIO;
        return nullptr;
    };
    const std::wstring name = Utf8ToWide(path);
    if (name.empty()) return fail(ERROR_FILE_NOT_FOUND, nullptr);
    // A directory cannot be opened as a file at all; say what it is rather than "access denied".
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return fail(ERROR_INVALID_PARAMETER, "not a regular file");
    }
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    int flags = _O_BINARY | _O_RDONLY;
    const char* streamMode = "rb";
    if (mode == RegularFileMode::Truncate) {
        access = GENERIC_WRITE;
        disposition = OPEN_ALWAYS;
        flags = _O_BINARY | _O_WRONLY;
        streamMode = "wb";
    } else if (mode == RegularFileMode::Append) {
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = OPEN_ALWAYS;
        flags = _O_BINARY | _O_RDWR | _O_APPEND;
        streamMode = "a+b";
    }
    // Others may read, write, rename or delete the file meanwhile, as on Linux: a log being
    // written never blocks an editor or the atomic replacement of a settings file.
    const HANDLE handle =
        CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return fail(GetLastError(), nullptr);
    // Pipes and character devices (NUL, CON, a COM port) are no files.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return fail(ERROR_INVALID_PARAMETER, "not a regular file");
    }
    if (mode == RegularFileMode::Truncate && !SetEndOfFile(handle)) {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        return fail(error, nullptr);
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd < 0) {
        CloseHandle(handle);
        return fail(ERROR_TOO_MANY_OPEN_FILES, nullptr);
    }
    std::FILE* file = _fdopen(fd, streamMode);
    if (file == nullptr) {
        _close(fd);  // closes the handle too
        return fail(ERROR_TOO_MANY_OPEN_FILES, nullptr);
    }
    return file;
}

}  // namespace kavri
