// The byte trace of the device's exchanges: every byte sent and received, time-stamped, to
// the diagnostic sink.
#pragma once

#include <string>

#include "transport/SerialPort.h"

namespace kavri {

class WheelFocuserDevice;

// One trace line: the log's time stamp, the direction (">>" sent, "<<" received), the bytes
// in hex and, between bars, as text with "." for anything not printable.
std::string FormatTraceLine(double seconds, TraceDirection direction, const uint8_t* bytes,
                            int count);

// Installs the trace on the device's port when it is switched on, so ports opened after the
// switch are covered too.
void ApplyExchangeTrace(WheelFocuserDevice& device);

// Starts an exchange on the device's port: ApplyExchangeTrace, then discards pending port data
// so stale bytes of an earlier exchange cannot be taken for the new reply.
void BeginExchange(WheelFocuserDevice& device);

}  // namespace kavri
