// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/DeviceJobs.h"

#include <algorithm>
#include <cctype>

#include "device/DeviceOperations.h"
#include "transport/PortAccess.h"
#include "transport/PortNaming.h"

namespace kavri::server {

namespace {

// The reason as a sentence: a capital first letter.
std::string Sentence(std::string text) {
    if (!text.empty())
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

// Whether another copy of this program holds one of the ports a connection to `choice` tried: a
// client that starts the driver once as focuser and once as filter wheel gets exactly that.
bool HeldByAnotherCopy(const PortChoice& choice) {
    if (choice.IsPath()) return HeldByAnotherCopyOfThisProgram(choice.devicePath);
    const PortNaming naming = PortNaming::FromEnvironment();
    const int first = choice.number > 0 ? choice.number : kFirstComPort;
    const int last = choice.number > 0 ? choice.number : kLastComPort;
    for (int number = first; number <= last; ++number) {
        if (HeldByAnotherCopyOfThisProgram(naming.DevicePath(number))) return true;
    }
    return false;
}

}  // namespace

JobResult Failed(const WheelFocuserDevice& device, const std::string& context) {
    const std::string text = FailureText(device, context);
    return {false, context.empty() ? Sentence(text) : text};
}

DeviceState::DeviceState(SettingsStore& store, TimerService& timers) : device(store, timers) {}

DeviceSnapshot DeviceState::Snapshot() const {
    DeviceSnapshot snapshot;
    snapshot.connected = device.port != nullptr;
    snapshot.wheelPresent = device.wheelPresent;
    snapshot.focuserPresent = device.focuserPresent;
    snapshot.focuserPosition = device.focuserPosition;
    snapshot.currentFilter = device.currentFilter;
    snapshot.filters = device.filters;
    snapshot.config = device.config;
    snapshot.settings = device.settings;
    for (int i = 0; i < kThermometerSlots; ++i)
        snapshot.thermometerNames[i] = device.TermometerName[i];
    snapshot.readings = readings;
    snapshot.largestDivisor = largestDivisor;
    snapshot.portName = portName;
    return snapshot;
}

void DeviceState::CheckLine(JobResult& result) {
    if (device.port == nullptr || !PortHungUp(device.port)) return;
    device.Disconnect();
    // The hang-up is the cause: what the job saw of it (no reply, a time-out) would mislead.
    result = {false, "The controller hung up the line on " + portName + ": disconnected"};
}

JobResult ConnectJob(DeviceState& state, const PortChoice& choice) {
    WheelFocuserDevice& device = state.device;
    if (device.port != nullptr) return {};
    if (!ConnectTo(device, {.port = choice})) {
        JobResult result = Failed(device);
        if (HeldByAnotherCopy(choice)) {
            result.message +=
                ". Another copy of this driver holds the controller: start Kavri Wheel Focuser "
                "once (in an Ekos profile as the focuser); that one device is the filter wheel too";
        }
        return result;
    }
    // As in the desktop program, the port chosen (a number, or Auto) is remembered, once it
    // answered; a device path cannot be stored as a COM number and leaves the stored port alone.
    const int storedPort = device.settings.ComPort;
    StorePortChoice(device, choice);
    if (device.settings.ComPort != storedPort) device.SaveRegistry();
    state.portName = DescribePort(choice.IsPath() ? choice : PortChoice{device.portNumber, {}});

    state.largestDivisor = 0;
    if (device.focuserPresent) {
        int32_t step = 0;
        int32_t divisor = 0;
        if (device.FWubStep(step, divisor)) state.largestDivisor = divisor;
    }
    state.readings = Readings{};
    PollJob(state, [] { return false; });
    return {};
}

JobResult DisconnectJob(DeviceState& state) {
    state.device.Disconnect();
    state.readings = Readings{};
    return {};
}

JobResult PollJob(DeviceState& state, const StopRequested& stop) {
    WheelFocuserDevice& device = state.device;
    Readings& readings = state.readings;
    if (device.port == nullptr) return {false, {}};
    bool ok = true;
    if (device.focuserPresent) {
        const int count = std::min<int>(device.config.thermometerCount, kMaxThermometers);
        for (int i = 0; i < kMaxThermometers; ++i) {
            if (i >= count) {
                readings.temperatures[i].reset();
                continue;
            }
            if (stop()) return {ok, {}};
            float degrees = 0.0f;
            if (device.FWtemperature(i, degrees)) {
                readings.temperatures[i] = degrees;
            } else {
                readings.temperatures[i].reset();
                ok = false;
            }
        }
        if (stop()) return {ok, {}};
        int32_t position = 0;
        readings.positionRead = device.GetPosition(position);
        ok = ok && readings.positionRead;
        if (stop()) return {ok, {}};
        int32_t selector = -1;
        if (device.FWisAuto(selector)) {
            readings.compensation = selector;
        } else {
            readings.compensation.reset();
            ok = false;
        }
    }
    if (device.wheelPresent) {
        if (stop()) return {ok, {}};
        int32_t filter = -1;
        readings.filterRead = device.GetFilter(filter);
        ok = ok && readings.filterRead;
    }
    return {ok, {}};
}

JobResult SelectFilterJob(DeviceState& state, int32_t index, const std::string& label) {
    WheelFocuserDevice& device = state.device;
    if (!device.SelectFilter(index)) return Failed(device, label);
    // A filter with its own focuser position sends the focuser there as the wheel turns: the
    // position is read at once, so a client never acts on the one from before.
    const auto& row = device.filters[static_cast<size_t>(index)];
    int32_t position = 0;
    if (device.focuserPresent && row.focuserPosition <= kNoFocuserPosition) {
        device.GetPosition(position);
    }
    return {};
}

JobResult MoveJob(DeviceState& state, int32_t controllerTarget) {
    // On a failure the controller may still be moving; the next poll reads where it is.
    if (state.device.MoveTo(controllerTarget)) return {};
    return Failed(state.device);
}

JobResult SyncJob(DeviceState& state, int32_t controllerPosition) {
    if (state.device.SetPosition(controllerPosition)) return {};
    return Failed(state.device);
}

JobResult RenameJob(DeviceState& state, const std::vector<std::pair<int, std::string>>& names,
                    const std::function<std::string(int)>& labels) {
    WheelFocuserDevice& device = state.device;
    JobResult result;
    for (const auto& [index, name] : names) {
        if (device.FWWRITENAME(index, name.c_str())) continue;
        const JobResult failed = Failed(device, labels(index));
        result.message += (result.ok ? "" : "; ") + failed.message;
        result.ok = false;
    }
    return result;
}

JobResult FocusShiftJob(DeviceState& state, const std::vector<std::pair<int, int32_t>>& shifts) {
    WheelFocuserDevice& device = state.device;
    for (const auto& [index, shift] : shifts) {
        if (index >= 0 && static_cast<size_t>(index) < device.filters.size()) {
            device.filters[static_cast<size_t>(index)].focuserPosition = shift;
        }
    }
    if (WriteConfiguration(device)) return {};
    return Failed(device);
}

JobResult ConfigJob(DeviceState& state, const ConfigValues& values) {
    if (WriteConfiguration(state.device, values)) return {};
    return Failed(state.device);
}

JobResult CompensationJob(DeviceState& state, int32_t selector) {
    WheelFocuserDevice& device = state.device;
    JobResult result;
    if (device.FWautoCompSet(selector)) {
        // As the desktop panel does: the chosen thermometer is the driver's preferred one.
        if (selector >= 0 && device.settings.AscomPreferredTermometer != selector) {
            device.settings.AscomPreferredTermometer = selector;
            device.SaveRegistry();
        }
    } else {
        result = Failed(device);
    }
    int32_t current = -1;
    if (device.FWisAuto(current)) {
        state.readings.compensation = current;
    } else {
        state.readings.compensation.reset();
    }
    return result;
}

JobResult SettingsJob(DeviceState& state, const std::function<void(WheelFocuserDevice&)>& change) {
    change(state.device);
    if (state.device.SaveRegistry()) return {};
    return {false, "The settings could not be saved"};
}

}  // namespace kavri::server
