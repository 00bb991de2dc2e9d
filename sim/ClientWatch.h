// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

// Who has the emulator's pseudo-terminal open, and the emulator's own hold on its slave side.
//
// A client that opens the port exclusively (TIOCEXCL) and dies without closing it properly
// leaves the terminal exclusive: without CAP_SYS_ADMIN nobody can open it again, the emulator
// included, and every later connect fails. So the emulator keeps the slave descriptor that
// openpty gave it for as long as it serves, and clears the exclusive mode through it once the
// last client has gone. Holding the slave keeps the master from ever seeing a hang-up, so the
// clients are counted from the open and close events inotify reports for the slave device.
namespace kavri::sim {

class ClientWatch {
public:
    ClientWatch() = default;
    ~ClientWatch();
    ClientWatch(const ClientWatch&) = delete;
    ClientWatch& operator=(const ClientWatch&) = delete;

    // Takes over `slave` (the emulator's own descriptor of the slave device at `path`) and
    // starts counting the clients. False when the device cannot be watched; `slave` is then
    // closed and the caller has to tell a departed client from the master's hang-up instead.
    bool Start(int slave, const std::string& path);
    // Lets go of the slave and stops watching. Idempotent.
    void Stop();

    bool Active() const { return watch_ >= 0; }
    // The descriptor to poll for POLLIN; -1 when not active.
    int EventDescriptor() const { return watch_; }
    // Reads the pending open and close events. When the last client has gone, the exclusive
    // mode is cleared and whatever was sent to that client but never read is discarded, so the
    // next client neither is locked out nor reads stale replies. `log` receives a note when
    // events were lost.
    void TakeEvents(const std::function<void(const std::string&)>& log);
    // True while a client has the device open (always true when not active: then nobody can
    // tell).
    bool Connected() const { return !Active() || clients_ > 0; }

private:
    int slave_ = -1;
    int watch_ = -1;
    int clients_ = 0;
};

}  // namespace kavri::sim
