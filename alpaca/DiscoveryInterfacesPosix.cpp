// SPDX-License-Identifier: GPL-3.0-or-later
// Every interface of the machine, by index, from the system's list.
#include <net/if.h>

#include "alpaca/Discovery.h"

namespace kavri::alpaca {

std::vector<unsigned> MulticastInterfaces() {
    std::vector<unsigned> indexes;
    if (struct if_nameindex* list = if_nameindex()) {
        for (const struct if_nameindex* entry = list; entry->if_index != 0; ++entry) {
            indexes.push_back(entry->if_index);
        }
        if_freenameindex(list);
    }
    if (indexes.empty()) indexes.push_back(0);  // the system's choice
    return indexes;
}

}  // namespace kavri::alpaca
