// SPDX-License-Identifier: GPL-3.0-or-later
// Lets the compiler check the arguments of a printf-style function. MinGW-w64's printf is the
// C99 one (GCC's gnu_printf), not the Microsoft runtime's; compilers without the attribute
// (MSVC) check nothing.
#pragma once

#if defined(__MINGW32__)
#define KAVRI_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#elif defined(__GNUC__)
#define KAVRI_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define KAVRI_PRINTF_FORMAT(formatIndex, firstArgument)
#endif
