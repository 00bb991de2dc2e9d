// SPDX-License-Identifier: GPL-3.0-or-later
// The exchange primitives every controller command is built from: a keyword, its argument
// bytes, and a reply of known length.
#include <cstring>

#include "transport/SerialPort.h"
#include "transport/Stopwatch.h"

namespace kavri {

bool WriteByte(PortHandle port, uint8_t byte) {
    // True only when the byte really went out: a timed-out write is not reported as success.
    return WriteBytes(port, &byte, 1);
}

bool WriteKeyword(PortHandle port, const char* keyword) {
    if (!keyword) return false;
    // Exactly the keyword's characters: the controller takes no terminator or separator.
    return WriteBytes(port, reinterpret_cast<const uint8_t*>(keyword),
                      static_cast<int>(std::strlen(keyword)));
}

int SendCommand(PortHandle port, const char* keyword, uint8_t* reply, int n) {
    if (!WriteKeyword(port, keyword)) return 0;
    FlushPort(port);
    return ReadBytes(port, reply, n);
}

int SendCommandWithArgs(PortHandle port, const char* keyword, const uint8_t* args, int argCount,
                        uint8_t* reply, int n) {
    if (!WriteKeyword(port, keyword)) return 0;
    if (!WriteBytes(port, args, argCount)) return 0;
    FlushPort(port);
    return ReadBytes(port, reply, n);
}

int ReadWithTimeout(PortHandle port, uint8_t* buffer, int n, int limitMs) {
    Stopwatch stopwatch;
    // The limit is checked only between reads, so the call may outlast it by one read
    // time-out; a partial reply ends the call and the caller judges it.
    while (stopwatch.ElapsedMs() < limitMs) {
        const int count = ReadBytes(port, buffer, n);
        if (count != 0) return count;
        // A missing or hung-up port answers every read at once; repeating it would spin
        // until the limit, so give up straight away.
        if (!port || !buffer || n <= 0 || PortHungUp(port)) return 0;
    }
    return 0;
}

}  // namespace kavri
