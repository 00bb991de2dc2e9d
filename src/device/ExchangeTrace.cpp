#include "device/ExchangeTrace.h"

#include <cstdio>

#include "device/WheelFocuserDevice.h"

namespace kavri {

namespace {

void InstallTrace(WheelFocuserDevice& device) {
    DiagnosticLog& log = device.log;
    SetPortTrace(device.port, [&log](TraceDirection direction, const uint8_t* bytes, int count) {
        log.WriteToSink(FormatTraceLine(log.ElapsedSeconds(), direction, bytes, count).c_str());
    });
}

}  // namespace

std::string FormatTraceLine(double seconds, TraceDirection direction, const uint8_t* bytes,
                            int count) {
    char head[48];
    std::snprintf(head, sizeof head, "%.3f : %s", seconds,
                  direction == TraceDirection::Out ? ">>" : "<<");
    std::string line = head;
    std::string text;
    for (int i = 0; i < count; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
        line += hex;
        text += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '.';
    }
    line += "  |" + text + "|\r\n";
    return line;
}

void ApplyExchangeTrace(WheelFocuserDevice& device) {
    if (device.exchangeTrace) InstallTrace(device);
}

void BeginExchange(WheelFocuserDevice& device) {
    ApplyExchangeTrace(device);
    PurgePort(device.port);
}

void WheelFocuserDevice::SetExchangeTrace(bool enabled) {
    exchangeTrace = enabled;
    if (port == nullptr) return;
    if (enabled) {
        InstallTrace(*this);
    } else {
        SetPortTrace(port, {});
    }
}

}  // namespace kavri
