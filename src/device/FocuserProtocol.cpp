// SPDX-License-Identifier: GPL-3.0-or-later
// The focuser half of the controller protocol: position, moves, direction, thermometers,
// temperature compensation, step size and the microstep table.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "device/CommandExchange.h"
#include "device/FocuserMoveLimit.h"
#include "device/WheelFocuserDevice.h"
#include "transport/Stopwatch.h"

namespace kavri {

namespace {

// Positions travel as signed 16-bit values, low byte first.
void EncodePosition(int32_t position, uint8_t out[2]) {
    const auto raw = static_cast<uint16_t>(position);
    out[0] = static_cast<uint8_t>(raw & 0xFF);
    out[1] = static_cast<uint8_t>(raw >> 8);
}

int16_t DecodeInt16(const uint8_t in[2]) {
    return static_cast<int16_t>(static_cast<uint16_t>(in[0] | (in[1] << 8)));
}

// A thermometer number or compensation selector travels as "0" + n; −1 becomes "/".
uint8_t SelectorByte(int32_t n) {
    return static_cast<uint8_t>('0' + n);
}

constexpr int16_t kNoTemperatureReading = -32768;
constexpr int kMicrostepReadLimitMs = 1000;

}  // namespace

bool WheelFocuserDevice::GetPosition(int32_t& position) {
    CommandExchange exchange(*this);
    if (!exchange) return false;
    uint8_t reply[2] = {};
    if (SendCommand(port, "FWfocus", reply, 2) < 2) return false;
    focuserPosition = DecodeInt16(reply);
    position = focuserPosition;
    return true;
}

bool WheelFocuserDevice::MoveTo(int32_t target) {
    CommandExchange exchange(*this);
    if (!exchange) return false;
    uint8_t args[2];
    EncodePosition(target, args);
    if (!WriteKeyword(port, "FWgoFocus")) return false;
    if (!WriteBytes(port, args, 2)) return false;

    const int32_t limit =
        FocuserMoveLimitMs(focuserPosition, target, config.focuserSpeed, config.focuserBacklash);
    const Stopwatch stopwatch;
    for (;;) {
        // A hung-up port answers every read at once with nothing; it cannot bring the "!", and
        // its failure is no time-out.
        if (PortHungUp(port)) {
            Print("Failed GoFocus(%i->%i) in=%.1fms: %s\r\n", focuserPosition, target,
                  stopwatch.ElapsedMillis(), kLineHungUp);
            exchange.HangUpLogged();
            return false;
        }
        if (stopwatch.ElapsedMs() >= limit) {
            Print("Failed GoFocus(%i->%i) in=%.1fms timeout=%ims\r\n", focuserPosition, target,
                  stopwatch.ElapsedMillis(), limit);
            failureReason = "the focuser did not report the end of the move in time";
            return false;
        }
        uint8_t reply = 0;
        // Progress bytes and letters of an interleaved frame are skipped; only "!" ends it.
        if (ReadBytes(port, &reply, 1) == 1 && reply == '!') break;
    }
    Print("OK GoFocus(%i->%i) in=%.1fms\r\n", focuserPosition, target, stopwatch.ElapsedMillis());
    focuserPosition = target;
    return true;
}

bool WheelFocuserDevice::SetPosition(int32_t position) {
    CommandExchange exchange(*this);
    if (!exchange) return false;
    uint8_t args[2];
    EncodePosition(position, args);
    uint8_t reply = 0;
    // Any answer at all means the controller took the new position; its value is not defined.
    if (SendCommandWithArgs(port, "FWsetFocus", args, 2, &reply, 1) < 1) {
        failureReason = "the controller did not answer the new position";
        return false;
    }
    focuserPosition = DecodeInt16(args);
    return true;
}

bool WheelFocuserDevice::FWdirFocus(int32_t& direction) {
    CommandExchange exchange(*this);
    if (!exchange) return false;
    uint8_t reply = 0;
    if (SendCommand(port, "FWdirFocus", &reply, 1) != 1) return false;
    if (reply == '+') {
        direction = 1;
        return true;
    }
    if (reply == '-') {
        direction = -1;
        return true;
    }
    return false;
}

bool WheelFocuserDevice::FWtemperature(int32_t index, float& value) {
    CommandExchange exchange(*this);
    if (!exchange) return false;
    const uint8_t arg = SelectorByte(index);
    uint8_t reply[2] = {};
    if (SendCommandWithArgs(port, "FWtemperature", &arg, 1, reply, 2) < 2) return false;
    const int16_t hundredths = DecodeInt16(reply);
    if (hundredths == kNoTemperatureReading) return false;
    // Scaled in single precision: 2345 reads as 23.449999f, which the temperature log prints
    // as 23.45.
    value = static_cast<float>(hundredths) * 0.01f;
    // Only thermometers 0 to 3 have a cached reading; any other index is answered but kept
    // out of the cache (a negative one would land outside it).
    if (index >= 0 && index < kThermometerSlots) temperatures[index] = value;
    return true;
}

bool WheelFocuserDevice::FWisAuto(int32_t& thermometer) {
    CommandExchange exchange(*this);
    if (!exchange) return false;
    uint8_t reply = 0;
    if (SendCommand(port, "FWisAuto", &reply, 1) != 1) return false;
    thermometer = static_cast<int32_t>(reply) - '0';
    // "/" (−1) means compensation is off: the preferred thermometer stays as chosen before.
    if (thermometer >= 0) settings.AscomPreferredTermometer = thermometer;
    return true;
}

bool WheelFocuserDevice::FWautoCompSet(int32_t thermometer) {
    CommandExchange exchange(*this);
    if (!exchange) return false;
    const uint8_t arg = SelectorByte(thermometer);
    uint8_t reply = 0;
    if (SendCommandWithArgs(port, "FWautoCompSet", &arg, 1, &reply, 1) == 1 && reply == '!') {
        return true;
    }
    failureReason = "the controller did not accept the compensation thermometer";
    return false;
}

bool WheelFocuserDevice::FWubStep(int32_t& stepMicrosteps, int32_t& maxDivisor) {
    CommandExchange exchange(*this);
    if (!exchange) return false;
    // Defaults for a controller that does not answer: the configured step, divisors 1 and 2.
    stepMicrosteps = config.focuserStepMicrosteps;
    maxDivisor = 2;
    const uint8_t arg = 0x00;
    uint8_t reply[2] = {};
    if (SendCommandWithArgs(port, "FWubStep", &arg, 1, reply, 2) != 2) return false;
    stepMicrosteps = reply[0];
    maxDivisor = reply[1];
    return true;
}

bool WheelFocuserDevice::FWzm() {
    CommandExchange exchange(*this);
    if (!exchange) return false;
    std::fill(std::begin(microstepTable), std::end(microstepTable), uint8_t{0});
    microstepCount = -1;
    uint8_t count = 0;
    if (SendCommand(port, "FWzm", &count, 1) != 1) return false;
    // An empty table needs no read: there is nothing to wait for.
    if (count == 0) {
        microstepCount = 0;
        return true;
    }
    // The table holds 128 entries. A longer announcement is not a table the program can show
    // or send back: its bytes are read and dropped, so none is taken for a later reply, and
    // the table stays unread, which keeps "FWym" from sending a table cut short.
    if (count > kMicrostepTableSize) {
        uint8_t surplus[UINT8_MAX];
        ReadWithTimeout(port, surplus, count, kMicrostepReadLimitMs);
        return false;
    }
    microstepCount = count;
    return ReadWithTimeout(port, microstepTable, count, kMicrostepReadLimitMs) == count;
}

bool WheelFocuserDevice::FWym() {
    // Without a table read from the controller there is nothing meaningful to send.
    if (microstepCount < 0 || microstepCount > kMicrostepTableSize) {
        failureReason = "no microstep table has been read from the controller";
        return false;
    }
    CommandExchange exchange(*this);
    if (!exchange) return false;
    uint8_t reply = 0;
    if (SendCommandWithArgs(port, "FWym", microstepTable, microstepCount, &reply, 1) == 1 &&
        reply == '!')
        return true;
    // A hang-up met on the way replaces this when the exchange ends.
    failureReason = "the controller did not accept the microstep table";
    return false;
}

}  // namespace kavri
