// SPDX-License-Identifier: GPL-3.0-or-later
#include <locale.h>
#include <stdlib.h>

#include "platform/ClassicNumber.h"

namespace kavri {

double StrtodClassic(const char* text, char** end) {
    static const _locale_t classic = _create_locale(LC_ALL, "C");
    return _strtod_l(text, end, classic);
}

}  // namespace kavri
