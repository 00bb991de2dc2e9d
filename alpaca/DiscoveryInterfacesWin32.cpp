// SPDX-License-Identifier: GPL-3.0-or-later
// Every network adapter with IPv6, by its IPv6 interface index, from GetAdaptersAddresses.
#include <winsock2.h>
#include <iphlpapi.h>

#include <vector>

#include "alpaca/Discovery.h"

namespace kavri::alpaca {

std::vector<unsigned> MulticastInterfaces() {
    std::vector<unsigned> indexes;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        status = GetAdaptersAddresses(AF_INET6, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_DNS_SERVER,
                                      nullptr,
                                      reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()),
                                      &size);
    }
    if (status == NO_ERROR) {
        for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter;
             adapter = adapter->Next) {
            if (adapter->Ipv6IfIndex != 0) indexes.push_back(adapter->Ipv6IfIndex);
        }
    }
    if (indexes.empty()) indexes.push_back(0);  // the system's choice
    return indexes;
}

}  // namespace kavri::alpaca
