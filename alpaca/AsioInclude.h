// SPDX-License-Identifier: GPL-3.0-or-later
// Boost.Asio for every file of the server, and the server's one loopback test. Boost 1.74's Asio uses std::exchange without
// including <utility> itself, which C++20 standard libraries no longer pull in for it.
#pragma once

#include <utility>

#include <boost/asio.hpp>

namespace kavri::alpaca {

// Whether an address is this machine's own: 127.0.0.0/8, ::1, or an IPv4 loopback address
// that a dual-stack socket reports in its IPv6 form (::ffff:127.0.0.1).
inline bool IsLoopback(const boost::asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        return address.to_v6().to_v4().is_loopback();
    }
    return address.is_loopback();
}

}  // namespace kavri::alpaca
