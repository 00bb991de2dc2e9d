// SPDX-License-Identifier: GPL-3.0-or-later
// The servers' work on the device: each job is one plain function that runs on the worker
// thread, calls device operations and says in a JobResult whether it worked and, if not, why
// (the device's own reason, as a sentence for the client). Nothing here knows a protocol byte,
// INDI or HTTP.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "device/ConfigFields.h"
#include "device/WheelFocuserDevice.h"
#include "server/DeviceSnapshot.h"
#include "server/Mappings.h"

namespace kavri::server {

struct JobResult {
    bool ok = true;
    std::string message;  // for the client; empty when there is nothing to say
};

// Everything the worker thread owns: the device and what the server keeps beside it.
class DeviceState {
public:
    DeviceState(SettingsStore& store, TimerService& timers);

    DeviceSnapshot Snapshot() const;

    // After every job: a line the controller hung up is closed, so the server disconnects
    // cleanly instead of failing every later exchange.
    void CheckLine(JobResult& result);

    WheelFocuserDevice device;
    Readings readings;
    int largestDivisor = 0;
    std::string portName;
};

// True asks a long job (the poll) to stop between exchanges: a command is waiting.
using StopRequested = std::function<bool()>;

// The failure of a device operation as the client reads it: the device's reason as a sentence,
// after `context` ("Filter 2 (\"Ha\")") when one is given.
JobResult Failed(const WheelFocuserDevice& device, const std::string& context = {});

// Opens the port of `choice` (Auto searches COM1..COM16); a COM choice is stored as the
// desktop program stores it. Then reads the step-size choices and a first poll.
JobResult ConnectJob(DeviceState& state, const PortChoice& choice);
JobResult DisconnectJob(DeviceState& state);
// Temperatures, position, filter and compensation thermometer; stops early when asked.
JobResult PollJob(DeviceState& state, const StopRequested& stop);

// A filter change; `label` names the filter as the client counts them, for the message.
JobResult SelectFilterJob(DeviceState& state, int32_t index, const std::string& label);
JobResult MoveJob(DeviceState& state, int32_t controllerTarget);
JobResult SyncJob(DeviceState& state, int32_t controllerPosition);
// Stores names (windows-1251, at most 8 bytes) by filter index with "FWWRITENAME"; `labels`
// name the filters as the client counts them.
JobResult RenameJob(DeviceState& state, const std::vector<std::pair<int, std::string>>& names,
                    const std::function<std::string(int)>& labels);
// Each filter's focuser position by index, written with the filter table.
JobResult FocusShiftJob(DeviceState& state, const std::vector<std::pair<int, int32_t>>& shifts);
// The one configuration write with these field values.
JobResult ConfigJob(DeviceState& state, const ConfigValues& values);
// Chooses the compensation thermometer (-1 off) and reads the choice back.
JobResult CompensationJob(DeviceState& state, int32_t selector);
// Changes the device's settings and saves them in the settings store.
JobResult SettingsJob(DeviceState& state, const std::function<void(WheelFocuserDevice&)>& change);

}  // namespace kavri::server
