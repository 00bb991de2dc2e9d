// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/ClientSet.h"

#include <cinttypes>

#include "device/WheelFocuserDevice.h"

namespace kavri {

// Identities are printed in full lower-case hex: a 64-bit address cut to 32 bits could make two
// clients look alike in the log.
bool ClientSet::ConnectMulti(const void* client) {
    return JoinClient(client, [this] { clientsOwner.Connect(); });
}

bool ClientSet::JoinClient(const void* client, const std::function<void()>& connect) {
    const auto id = reinterpret_cast<uintptr_t>(client);
    if (clients.empty()) {
        // Written before the port opens, so this line reaches the sink only.
        clientsOwner.log.Print("ConnectMulti(0x%" PRIxPTR ") = connect\r\n", id);
        connect();
        if (clientsOwner.port == nullptr) return false;
    } else {
        clientsOwner.log.Print("ConnectMulti(0x%" PRIxPTR ") = skip\r\n", id);
    }
    clients.insert(id);
    return true;
}

void ClientSet::DisconnectMulti(const void* client) {
    if (clientsOwner.port == nullptr) return;
    const auto id = reinterpret_cast<uintptr_t>(client);
    clients.erase(id);
    if (!clients.empty()) {
        clientsOwner.log.Print("DisconnectMulti(0x%" PRIxPTR ") = skip\r\n", id);
        return;
    }
    // Written while the log file is still open, so the file records the disconnection.
    clientsOwner.log.Print("DisconnectMulti(0x%" PRIxPTR ") = Disconnect\r\n", id);
    clientsOwner.Disconnect();
}

}  // namespace kavri
