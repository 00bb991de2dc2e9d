// SPDX-License-Identifier: GPL-3.0-or-later
// The filter wheel half of the controller protocol: which filter is in the light path, how many
// slots the wheel has, turning to a filter, homing, naming filters and writing the filter table
// back into the configuration image.
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "device/CommandExchange.h"
#include "device/ConfigFields.h"
#include "device/WheelFocuserDevice.h"
#include "transport/Stopwatch.h"

namespace kavri {

namespace {

// A filter index travels as one ASCII byte: "0" + index, so "/" is −1 and ":" is 10.
uint8_t IndexByte(int32_t index) {
    return static_cast<uint8_t>('0' + index);
}

// Remainder that is never negative, so the shortest way stays a distance even for indices
// outside the table.
int64_t Modulo(int64_t value, int64_t divisor) {
    const int64_t r = value % divisor;
    return r < 0 ? r + divisor : r;
}

int32_t ClampLimitMs(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// Bounded copy of a filter name: at most `size` characters, NUL-padded, no terminator when
// the name fills all of them.
void CopyName(char* dest, const char* src, size_t size) {
    size_t i = 0;
    for (; src != nullptr && i < size && src[i] != '\0'; ++i) dest[i] = src[i];
    for (; i < size; ++i) dest[i] = '\0';
}

// Bounds of the per-slot time of a wheel move. ChangeFilterTimeoutMs comes unchecked from the
// settings store or a settings file: a huge value would leave a silent wheel waited for for
// weeks, a negative one would report a failed change at once while the wheel still turns.
constexpr int32_t kMinSlotTimeoutMs = 100;
constexpr int32_t kMaxSlotTimeoutMs = 60000;

// ChangeFilterTimeoutMs within its bounds; a value outside them is logged with the one used.
int32_t SlotTimeoutMs(WheelFocuserDevice& device) {
    const int32_t configured = device.ChangeFilterTimeoutMs;
    const int32_t used = std::clamp(configured, kMinSlotTimeoutMs, kMaxSlotTimeoutMs);
    if (used != configured) {
        device.Print("ChangeFilterTimeoutMs=%i is outside %i..%i; %i used\r\n", configured,
                     kMinSlotTimeoutMs, kMaxSlotTimeoutMs, used);
    }
    return used;
}

}  // namespace

bool WheelFocuserDevice::GetFilter(int32_t& index) {
    CommandExchange exchange(*this);
    if (!exchange) return false;
    uint8_t reply = 0;
    if (SendCommand(port, "FWFILTER", &reply, 1) == 1 && reply >= '/' && reply <= ':') {
        // "/" is a wheel that answers but does not know its filter: present, index −1.
        currentFilter = reply - '0';
        index = currentFilter;
        return true;
    }
    currentFilter = -1;
    return false;
}

bool WheelFocuserDevice::FWCOUNT() {
    CommandExchange exchange(*this);
    if (!exchange) return false;
    uint8_t reply = 0;
    if (SendCommand(port, "FWCOUNT", &reply, 1) != 1 || reply < '1' || reply > ':') return false;
    const int count = reply - '0';
    try {
        filters.resize(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        FilterEntry& row = filters[static_cast<size_t>(i)];
        std::memcpy(row.name, config.filterNames[i], kConfigNameLength);
        row.name[kConfigNameLength] = '\0';
        row.wheelPosition = static_cast<int16_t>(config.filterWheelPositions[i]);
        row.focuserPosition = static_cast<int16_t>(config.filterFocuserPositions[i]);
    }
    return true;
}

bool WheelFocuserDevice::SelectFilter(int32_t target) {
    // The shortest way round divides by the number of rows: without a table there is no way
    // to compute a time limit, so nothing is sent.
    if (filters.empty()) {
        failureReason = "the filter table is empty";
        return false;
    }
    CommandExchange exchange(*this);
    if (!exchange) return false;

    const int32_t previous = currentFilter;
    const int64_t slots = static_cast<int64_t>(filters.size());
    const int64_t forward = Modulo(slots - previous + target, slots);
    const int64_t backward = Modulo(previous - static_cast<int64_t>(target) + slots, slots);
    const int64_t dif = forward < backward ? forward : backward;
    int64_t limit64 = dif * SlotTimeoutMs(*this) + 2000;
    // With the focuser position at −1 the limit grows by one millisecond per row and slot.
    if (focuserPosition == -1) limit64 += dif * slots;
    const int32_t limit = ClampLimitMs(limit64);
    Print("Goto(%i->%i) dif=%i TimeOut=%i\r\n", previous, target, static_cast<int>(dif), limit);

    if (!WriteKeyword(port, "FWGOTO")) return false;
    WriteByte(port, IndexByte(target));

    const Stopwatch stopwatch;
    // Bytes 12 and up stay zero, so the skipped frame always prints as a terminated text.
    uint8_t reply[20] = {};
    for (;;) {
        if (stopwatch.ElapsedMs() >= limit) {
            Print("Failed Goto(%i->%i) in=%.1fms\r\n", previous, target, stopwatch.ElapsedMillis());
            failureReason = "the wheel did not report the filter in time";
            return false;
        }
        if (ReadBytes(port, reply, 1) == 0) {
            // A port whose other end is gone answers at once with nothing: waiting out the
            // limit would only spin, and the failure is no time-out.
            if (PortHungUp(port)) {
                Print("Failed Goto(%i->%i) in=%.1fms: %s\r\n", previous, target,
                      stopwatch.ElapsedMillis(), kLineHungUp);
                exchange.HangUpLogged();
                return false;
            }
            continue;
        }
        if (reply[0] == 'F') {
            // The controller may interleave a "FWmoveFocus" frame into the wheel's answer: read
            // the 12 bytes after its "F" in one go so none of them is taken for the reply.
            ReadBytes(port, reply, static_cast<int>(std::strlen("FWmoveFocus")) + 1);
            Print("Skip cmd(%s)\r\n", reinterpret_cast<const char*>(reply));
        }
        if (reply[0] == IndexByte(target)) {
            Print("OK Goto(%i->%i) in=%.1fms\r\n", previous, target, stopwatch.ElapsedMillis());
            currentFilter = target;
            return true;
        }
        if (reply[0] == '/') {
            Print("Failed Goto(%i->%i) in=%.1fms\r\n", previous, target, stopwatch.ElapsedMillis());
            currentFilter = -1;
            failureReason = "the wheel reported a failure; its position is unknown";
            return false;
        }
        // Progress characters and anything else: keep waiting.
    }
}

bool WheelFocuserDevice::Home(int32_t /*shift*/) {
    CommandExchange exchange(*this);
    if (!exchange) return false;
    const int32_t limit = ClampLimitMs(static_cast<int64_t>(filters.size()) * SlotTimeoutMs(*this));
    if (!WriteKeyword(port, "FWHOME")) return false;
    uint8_t reply = 0;
    return ReadWithTimeout(port, &reply, 1, limit) == 1 && reply == '!';
}

bool WheelFocuserDevice::FWWRITENAME(int32_t index, const char* name) {
    if (index < 0 || static_cast<size_t>(index) >= filters.size()) return false;
    CommandExchange exchange(*this);
    if (!exchange) return false;
    // The table keeps the new name whatever the controller answers.
    FilterEntry& row = filters[static_cast<size_t>(index)];
    CopyName(row.name, name, kConfigNameLength);
    row.name[kConfigNameLength] = '\0';

    if (!WriteKeyword(port, "FWWRITENAME")) return false;
    WriteByte(port, IndexByte(index));
    if (!WriteBytes(port, reinterpret_cast<const uint8_t*>(row.name), kConfigNameLength)) {
        return false;
    }
    uint8_t reply = 0;
    return ReadBytes(port, &reply, 1) == 1 && reply == '!';
}

bool WheelFocuserDevice::WriteFilterTable() {
    ExchangeGuard guard(*this);
    if (!guard) return false;
    // Only the image's ten slots have room; rows beyond them stay in the table alone, and
    // slots beyond the table keep their contents.
    PutFilterRows(config, filters);
    return FWwriteEE(0, kConfigSize, config.data());
}

}  // namespace kavri
