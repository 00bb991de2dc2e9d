# SPDX-License-Identifier: GPL-3.0-or-later
# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix: the
# compiler variant with C++ threads), for example:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Programs and tests are linked statically (C++ runtime, threads), so an .exe runs on Windows
# and under Wine without DLLs beside it. Tests run under Wine through wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KAVRI_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KAVRI_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KAVRI_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KAVRI_MINGW_PREFIX}-windres)

# Libraries, headers and packages come from the MinGW-w64 sysroot only, never from the build
# machine's /usr/include (the two header-only libraries kavrictl needs are copied in on their
# own, see cli/CMakeLists.txt); build tools come from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${KAVRI_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
