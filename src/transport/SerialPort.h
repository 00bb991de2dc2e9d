// SPDX-License-Identifier: GPL-3.0-or-later
// Serial port and the blocking exchange primitives every controller command is built from.
// Platform-neutral: the POSIX implementation lives in SerialPortPosix.cpp; no platform type
// appears here, so a Win32 implementation can sit beside it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kavri {

// Opaque open serial device; defined by the platform implementation.
struct SerialPort;

// The handle the device owns: nullptr means no port.
using PortHandle = SerialPort*;

// A read ends when this long passes after a byte without the next one.
constexpr int kInterByteTimeoutMs = 100;

// Why a port cannot be used.
enum class PortProblem {
    kNone,         // usable
    kNoDevice,     // nothing at that path, or the device is gone
    kNotTerminal,  // not a serial device at all (a plain file, /dev/null, a disk, ...)
    kOwnTerminal,  // the terminal this program runs in
    kPermission,   // the user may not open it
    kInUse,        // another program holds it (its lock file, its lock, or exclusive mode)
    kFailed,       // any other error of the system
};

struct PortStatus {
    PortProblem problem = PortProblem::kNone;
    // For the user: what is wrong and, where there is one, the fix. Empty when usable.
    std::string message;
};

// Opens `name` exclusively (a second opener fails at once) in raw 8N1 mode without flow
// control, DTR and RTS dropped, at `baud`. Returns nullptr on failure, with the reason in
// `status` when given. A port another program holds is left untouched: nothing is sent to it.
PortHandle OpenSerialPort(const std::string& name, int baud, PortStatus* status = nullptr);

// Whether `name` looks usable, judged without opening it (opening a real serial port raises
// its modem lines): it exists, is a serial device, is not our own terminal, no lock file of a
// live program names it and we may open it. A holder that only locks the open port itself is
// found only by OpenSerialPort.
PortStatus InspectSerialPort(const std::string& name);

// Restores the terminal settings the port had before it was opened, then closes it and frees
// the handle; nullptr is ignored.
void CloseSerialPort(PortHandle port);

// Discards pending input and output.
void PurgePort(PortHandle port);

// Waits until queued output has been transmitted.
void FlushPort(PortHandle port);

// Reads up to n bytes: ends when n bytes arrived, when 100 ms pass between two bytes, or
// after 100 + 100·n ms in all. Returns the count read (0 also on failure).
int ReadBytes(PortHandle port, uint8_t* buffer, int n);

// Writes one byte; true when the write succeeded.
bool WriteByte(PortHandle port, uint8_t byte);

// Writes n bytes, cut short after 100 + 100·n ms; true only when all n were written.
bool WriteBytes(PortHandle port, const uint8_t* buffer, int n);

// Writes exactly the keyword's characters: no terminator, separator or line end.
bool WriteKeyword(PortHandle port, const char* keyword);

// Keyword, flush, one ReadBytes of n. 0 when the keyword could not be written in full.
int SendCommand(PortHandle port, const char* keyword, uint8_t* reply, int n);

// Keyword, argument bytes, flush, one ReadBytes of n. 0 when a write was incomplete.
int SendCommandWithArgs(PortHandle port, const char* keyword, const uint8_t* args, int argCount,
                        uint8_t* reply, int n);

// Repeats ReadBytes of n until one returns data (its count) or limitMs has passed (0).
int ReadWithTimeout(PortHandle port, uint8_t* buffer, int n, int limitMs);

// How many bytes have arrived on the port since it was opened: those read, and those PurgePort
// discarded. Whoever knows how many answer bytes its exchanges understood can tell from it that
// the line carried more: a stray byte, or an answer that came one byte late.
uint64_t PortBytesSeen(PortHandle port);

// True once a read or write found the other end gone (hang-up, device removed). Such a port
// answers every read at once with nothing, so loops that poll it stop early instead of
// spinning until their time limit.
bool PortHungUp(PortHandle port);

// Tracing of every byte exchanged on a port, for the night a controller misbehaves.
enum class TraceDirection { Out, In };
using PortTrace = std::function<void(TraceDirection, const uint8_t* bytes, int count)>;

// Installs (or, with an empty function, removes) the trace of this port.
void SetPortTrace(PortHandle port, PortTrace trace);

}  // namespace kavri
