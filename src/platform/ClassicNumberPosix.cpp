// SPDX-License-Identifier: GPL-3.0-or-later
#include <locale.h>
#include <stdlib.h>

#include "platform/ClassicNumber.h"

namespace kavri {

double StrtodClassic(const char* text, char** end) {
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return strtod_l(text, end, classic);
}

}  // namespace kavri
