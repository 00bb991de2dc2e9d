// The driver's work on the device: each job is one plain function that runs on the worker
// thread, calls WheelFocuserDevice operations and says in a JobResult whether it worked and, if
// not, why (a sentence for the INDI client). Nothing here knows INDI or a protocol byte.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "device/WheelFocuserDevice.h"
#include "indi/DeviceSnapshot.h"
#include "indi/Mappings.h"

namespace kavri::indi {

struct JobResult {
    bool ok = true;
    std::string message;  // for the client; empty when there is nothing to say
};

// Everything the worker thread owns: the device and what the driver keeps beside it.
class DeviceState {
public:
    DeviceState(SettingsStore& store, TimerService& timers);

    DeviceSnapshot Snapshot() const;

    // After every job: a line the controller hung up is closed, so the driver disconnects
    // cleanly instead of failing every later exchange.
    void CheckLine(JobResult& result);

    WheelFocuserDevice device;
    Readings readings;
    int largestDivisor = 0;
    std::string portName;
};

// True asks a long job (the poll) to stop between exchanges: a command is waiting.
using StopRequested = std::function<bool()>;

// Opens the port of `choice` (the device's Connect and probe), stores a numbered choice as
// ComPort, reads the step-size choices and a first poll.
JobResult ConnectJob(DeviceState& state, const PortChoice& choice);
JobResult DisconnectJob(DeviceState& state);
// Temperatures, position, filter and compensation thermometer; stops early when asked.
JobResult PollJob(DeviceState& state, const StopRequested& stop);

JobResult SelectFilterJob(DeviceState& state, int32_t index);
JobResult MoveJob(DeviceState& state, int32_t controllerTarget);
JobResult SyncJob(DeviceState& state, int32_t controllerPosition);
// Stores names (windows-1251, at most 8 bytes) by filter index with "FWWRITENAME".
JobResult RenameJob(DeviceState& state, const std::vector<std::pair<int, std::string>>& names);
// Each filter's focuser position by index, written with the filter table.
JobResult FocusShiftJob(DeviceState& state, const std::vector<std::pair<int, int32_t>>& shifts);
// Changes the configuration image, writes it whole and reads it back.
JobResult ConfigJob(DeviceState& state, const std::function<void(ControllerConfig&)>& change);
// Chooses the compensation thermometer (-1 off) and reads the choice back.
JobResult CompensationJob(DeviceState& state, int32_t selector);
// Changes the device's settings and saves them in the settings store.
JobResult SettingsJob(DeviceState& state, const std::function<void(WheelFocuserDevice&)>& change);

}  // namespace kavri::indi
