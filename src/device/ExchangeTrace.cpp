// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/ExchangeTrace.h"

#include <cstdio>

#include "device/WheelFocuserDevice.h"

namespace kavri {

namespace {

void InstallTrace(WheelFocuserDevice& device) {
    SetPortTrace(device.port, [collector = device.traceCollector](TraceDirection direction,
                                                                  const uint8_t* bytes, int count) {
        collector->Add(direction, bytes, count);
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

void TraceCollector::Add(TraceDirection direction, const uint8_t* bytes, int count) {
    const auto now = std::chrono::steady_clock::now();
    if (!bytes_.empty() &&
        (direction != direction_ || now - last_ > std::chrono::milliseconds(kInterByteTimeoutMs))) {
        Flush();
    }
    for (int i = 0; i < count; ++i) {
        if (bytes_.size() == kMaxLineBytes) Flush();
        if (bytes_.empty()) {
            direction_ = direction;
            firstSeconds_ = log_.ElapsedSeconds();
        }
        bytes_.push_back(bytes[i]);
    }
    last_ = now;
}

void TraceCollector::Flush() {
    if (bytes_.empty()) return;
    log_.WriteToSink(
        FormatTraceLine(firstSeconds_, direction_, bytes_.data(), static_cast<int>(bytes_.size()))
            .c_str());
    bytes_.clear();
}

void ApplyExchangeTrace(WheelFocuserDevice& device) {
    if (device.traceCollector) InstallTrace(device);
}

void WheelFocuserDevice::SetExchangeTrace(bool enabled) {
    if (traceCollector) traceCollector->Flush();
    if (!enabled) {
        traceCollector.reset();
        log.SetBeforePrint({});
        SetPortTrace(port, {});
        return;
    }
    if (!traceCollector) traceCollector = std::make_shared<TraceCollector>(log);
    // Log lines written while a trace line is still being gathered come after it.
    log.SetBeforePrint([collector = traceCollector] { collector->Flush(); });
    InstallTrace(*this);
}

}  // namespace kavri
