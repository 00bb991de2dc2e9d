// SPDX-License-Identifier: GPL-3.0-or-later
// The clients sharing the device's connection: the first to join opens the port, the last to
// leave closes it.
#pragma once

#include <cstdint>
#include <functional>
#include <set>

namespace kavri {

class WheelFocuserDevice;

class ClientSet {
public:
    explicit ClientSet(WheelFocuserDevice& owner) : clientsOwner(owner) {}
    ClientSet(const ClientSet&) = delete;
    ClientSet& operator=(const ClientSet&) = delete;

    // Joins `client` (an address used only as an identity). The first client connects the
    // owner; true when the client is joined, i.e. the port is open.
    bool ConnectMulti(const void* client);

    // ConnectMulti with the first client's connection made by `connect` rather than by the
    // owner's Connect: the desktop program connects on the port its user chose.
    bool JoinClient(const void* client, const std::function<void()>& connect);

    // Removes `client`; when no client is left the owner disconnects. Does nothing while the
    // port is closed.
    void DisconnectMulti(const void* client);

    const std::set<uintptr_t>& Clients() const { return clients; }

protected:
    std::set<uintptr_t> clients;  // ascending by address value
    WheelFocuserDevice& clientsOwner;
};

}  // namespace kavri
