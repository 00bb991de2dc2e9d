#include "indi/DeviceJobs.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>

#include "device/PortNaming.h"
#include "transport/UucpLock.h"

namespace kavri::indi {

namespace {

std::string FilterLabel(const WheelFocuserDevice& device, int32_t index) {
    std::string label = "filter " + std::to_string(SlotOfIndex(index));
    if (index >= 0 && static_cast<size_t>(index) < device.filters.size()) {
        const auto& row = device.filters[static_cast<size_t>(index)];
        label += " (\"" + DisplayName(row.name, kConfigNameLength) + "\")";
    }
    return label;
}

// Writes the filter table and the configuration image whole, then reads the image back: the
// copy the driver shows is always what the controller holds afterwards.
JobResult WriteAndReadBack(WheelFocuserDevice& device, const ControllerConfig& before) {
    JobResult result;
    const bool written = device.WriteFilterTable();
    const ControllerConfig sent = device.config;
    ControllerConfig readBack{};
    const bool read = device.FWreadEE(0, kConfigSize, readBack.data());
    if (read) {
        device.config = readBack;
    } else if (!written) {
        device.config = before;  // the controller most likely still holds the old image
    }
    if (device.wheelPresent) device.FWCOUNT();  // the filter table follows the image
    if (!written) {
        result = {false, "The controller did not accept the new configuration"};
    } else if (!read) {
        result = {false, "The configuration was written but could not be read back"};
    } else if (std::memcmp(sent.data(), readBack.data(), kConfigSize) != 0) {
        result = {false, "The controller kept a different configuration than was written"};
    }
    return result;
}

// The name the kernel keeps for a process, as lock holders are named.
std::string ProgramName(const std::string& pid) {
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// Whether another copy of this program holds one of the ports tried: a client that starts the
// driver once as focuser and once as filter wheel gets exactly that.
bool HeldByAnotherCopy(const std::vector<int>& candidates) {
    const PortNaming naming = ActivePortNaming();
    const std::string self = ProgramName("self");
    for (const int number : candidates) {
        const auto holder = UucpLockHolder(naming.DevicePath(number));
        if (holder && holder->pid != getpid() && !self.empty() && holder->program == self) {
            return true;
        }
    }
    return false;
}

}  // namespace

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
    const int storedPort = device.settings.ComPort;

    // The device's own Connect, on one port or, with number 0, searching them all; a failure
    // leaves its reason (held by another program, permission, no answer, ...) in failureReason.
    const std::vector<int> candidates = PortsToTry(choice.number, choice.devicePath);
    device.settings.ComPort = candidates.size() == 1 ? candidates.front() : 0;
    const bool connected = device.Connect();
    const int connectedOn = device.portNumber;
    const bool anotherCopy = !connected && HeldByAnotherCopy(candidates);
    SetActivePortNaming(std::nullopt);

    if (!connected) {
        device.settings.ComPort = storedPort;
        std::string reason = device.failureReason;
        if (!reason.empty()) reason[0] = static_cast<char>(std::toupper(reason[0]));
        if (anotherCopy) {
            reason +=
                ". Another copy of this driver holds the controller: start Kavri Wheel Focuser "
                "once (in an Ekos profile as the focuser); that one device is the filter wheel too";
        }
        return {false, reason};
    }

    // As in the desktop program, the port chosen (a number, or 0 for the search) is remembered;
    // a device path cannot be stored as a COM number and leaves the stored port alone.
    device.settings.ComPort = choice.devicePath.empty() ? choice.number : storedPort;
    if (device.settings.ComPort != storedPort) device.SaveRegistry();
    state.portName =
        choice.devicePath.empty()
            ? DescribePort(PortChoice{connectedOn, {}}, ActivePortNaming().DevicePath(connectedOn))
            : choice.devicePath;

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

JobResult SelectFilterJob(DeviceState& state, int32_t index) {
    WheelFocuserDevice& device = state.device;
    if (device.SelectFilter(index)) {
        // A filter with its own focuser position sends the focuser there as the wheel turns:
        // the position is read at once, so a client never acts on the one from before.
        const auto& row = device.filters[static_cast<size_t>(index)];
        int32_t position = 0;
        if (device.focuserPresent && row.focuserPosition <= kNoFocuserPosition) {
            device.GetPosition(position);
        }
        return {};
    }
    if (device.currentFilter == -1) {
        return {false, "The wheel reported a failure turning to " + FilterLabel(device, index) +
                           "; its position is unknown"};
    }
    return {false, "The wheel did not report " + FilterLabel(device, index) + " in time"};
}

JobResult MoveJob(DeviceState& state, int32_t controllerTarget) {
    WheelFocuserDevice& device = state.device;
    if (device.MoveTo(controllerTarget)) return {};
    // The controller may still be moving; the next poll reads where it is.
    return {false, "The focuser did not report the end of the move in time"};
}

JobResult SyncJob(DeviceState& state, int32_t controllerPosition) {
    if (state.device.SetPosition(controllerPosition)) return {};
    return {false, "The controller did not answer the new position"};
}

JobResult RenameJob(DeviceState& state, const std::vector<std::pair<int, std::string>>& names) {
    WheelFocuserDevice& device = state.device;
    JobResult result;
    for (const auto& [index, name] : names) {
        if (device.FWWRITENAME(index, name.c_str())) continue;
        result.ok = false;
        if (!result.message.empty()) result.message += "; ";
        result.message += "the controller did not store the name of " + FilterLabel(device, index);
    }
    if (!result.ok) result.message[0] = 'T';
    return result;
}

JobResult FocusShiftJob(DeviceState& state, const std::vector<std::pair<int, int32_t>>& shifts) {
    WheelFocuserDevice& device = state.device;
    const ControllerConfig before = device.config;
    for (const auto& [index, shift] : shifts) {
        if (index >= 0 && static_cast<size_t>(index) < device.filters.size()) {
            device.filters[static_cast<size_t>(index)].focuserPosition = shift;
        }
    }
    return WriteAndReadBack(device, before);
}

JobResult ConfigJob(DeviceState& state, const std::function<void(ControllerConfig&)>& change) {
    WheelFocuserDevice& device = state.device;
    const ControllerConfig before = device.config;
    change(device.config);
    return WriteAndReadBack(device, before);
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
        result = {false, "The controller did not accept the compensation thermometer"};
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

}  // namespace kavri::indi
