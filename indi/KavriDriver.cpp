// SPDX-License-Identifier: GPL-3.0-or-later
#include "indi/KavriDriver.h"

#include <fcntl.h>
#include <libindi/eventloop.h>
#include <libindi/indidriver.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "device/TemperatureLog.h"
#include "persist/DefaultSettingsStore.h"

namespace kavri::indi {

namespace {

constexpr const char* kDeviceName = "Kavri Wheel Focuser";
constexpr const char* kTemperatureTab = "Temperature";
constexpr const char* kFocuserSettingsTab = "Focuser Settings";
constexpr const char* kWheelSettingsTab = "Wheel Settings";

// The driver's own properties, in the order clients list them. Labels stay short: KStars'
// panel cuts a property label wider than about a dozen characters.
const std::vector<PropertySpec>& OwnProperties() {
    using K = PropertyKind;
    static const std::vector<PropertySpec> table = {
        {prop::kDevicePort, "Port", CONNECTION_TAB, K::Text, IP_RW, ISR_1OFMANY, Shown::Always},
        {prop::kTemperature, "Temperature", MAIN_CONTROL_TAB, K::Number, IP_RO, ISR_1OFMANY,
         Shown::Focuser},
        {prop::kFocusShift, "Filter focus", FILTER_TAB, K::Number, IP_RW, ISR_1OFMANY,
         Shown::Wheel},
        {prop::kThermometers, "Readings", kTemperatureTab, K::Number, IP_RO, ISR_1OFMANY,
         Shown::Focuser},
        {prop::kThermometerNames, "Names", kTemperatureTab, K::Text, IP_RW, ISR_1OFMANY,
         Shown::Focuser},
        {prop::kCompensation, "Temp. comp.", kTemperatureTab, K::Switch, IP_RW, ISR_1OFMANY,
         Shown::Focuser},
        {prop::kFocuserSettings, "Focuser", kFocuserSettingsTab, K::Number, IP_RW, ISR_1OFMANY,
         Shown::Focuser},
        {prop::kStepSize, "Step size", kFocuserSettingsTab, K::Switch, IP_RW, ISR_1OFMANY,
         Shown::Focuser},
        {prop::kDriverSettings, "Positions", kFocuserSettingsTab, K::Number, IP_RW, ISR_1OFMANY,
         Shown::Focuser},
        {prop::kWheelSettings, "Wheel", kWheelSettingsTab, K::Number, IP_RW, ISR_1OFMANY,
         Shown::Wheel},
        {prop::kWheelOptions, "Options", kWheelSettingsTab, K::Switch, IP_RW, ISR_NOFMANY,
         Shown::Wheel},
        {prop::kPowerOutput, "Power output", kWheelSettingsTab, K::Switch, IP_RW, ISR_1OFMANY,
         Shown::Wheel},
    };
    return table;
}

Request MakeRequest(const char* property, char* names[], int n) {
    Request request;
    request.property = property;
    for (int i = 0; i < n; ++i) request.names.emplace_back(names[i] ? names[i] : "");
    return request;
}

}  // namespace

KavriDriver::KavriDriver() : FilterInterface(this) {
    setVersion(KAVRI_VERSION_MAJOR, KAVRI_VERSION_MINOR);
    FI::SetCapability(FOCUSER_CAN_ABS_MOVE | FOCUSER_CAN_REL_MOVE | FOCUSER_CAN_SYNC |
                      FOCUSER_HAS_VARIABLE_SPEED | FOCUSER_HAS_BACKLASH);
    setSupportedConnections(CONNECTION_NONE);
    *FilterNameTP = ITextVectorProperty{};

    // The process-wide temperature log exists before the worker starts, so at exit it
    // outlives it (statics are destroyed in reverse order of construction).
    SetActiveTemperatureLog(std::nullopt);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead_ = fds[0];
        wakeWrite_ = fds[1];
    }
    store_ = OpenDefaultSettingsStore();
    const int wake = wakeWrite_;
    worker_ = std::make_unique<DeviceWorker>(*store_, [wake] {
        const char byte = 1;
        // A full pipe already holds a wake-up; nothing is lost when this write fails.
        [[maybe_unused]] ssize_t written = write(wake, &byte, 1);
    });
    snapshot_ = worker_->InitialSnapshot();
    addCallback(wakeRead_, &KavriDriver::OnWake, this);
}

KavriDriver::~KavriDriver() {
    StopMoveProgress();
    worker_.reset();  // the device disconnects and saves its settings on its own thread
    FreeFilterNames();
    if (wakeRead_ >= 0) close(wakeRead_);
    if (wakeWrite_ >= 0) close(wakeWrite_);
}

const char* KavriDriver::getDefaultName() {
    return kDeviceName;
}

void KavriDriver::OnWake(int fd, void* self) {
    char buffer[64];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
    static_cast<KavriDriver*>(self)->worker_->Deliver();
}

bool KavriDriver::initProperties() {
    INDI::Focuser::initProperties();
    FilterInterface::initProperties(FILTER_TAB);
    IUFillTextVector(FilterNameTP, nullptr, 0, getDeviceName(), prop::kFilterName, "Filter",
                     FILTER_TAB, IP_RW, 0, IPS_IDLE);
    for (const PropertySpec& spec : OwnProperties()) {
        own_[spec.name] = std::make_unique<OwnProperty>(spec, getDeviceName());
    }
    Element port;
    port.name = "PORT";
    port.label = "Port";
    port.text = PortChoiceText(PortChoice{snapshot_.settings.ComPort, {}});
    own_.at(prop::kDevicePort)->Update(*this, {port});

    // Shorter than libindi's labels, which KStars' panel cuts.
    std::snprintf(FocusAbsPosNP.label, MAXINDILABEL, "Position");
    std::snprintf(FocusRelPosNP.label, MAXINDILABEL, "Move by");
    // No abort: the controller cannot stop a move once it is sent.
    FocusAbsPosN[0].min = 0;
    FocusAbsPosN[0].step = 100;
    FocusRelPosN[0].min = 1;
    FocusRelPosN[0].step = 100;
    setDriverInterface(FOCUSER_INTERFACE | FILTER_INTERFACE);
    return true;
}

void KavriDriver::ISGetProperties(const char* dev) {
    INDI::Focuser::ISGetProperties(dev);
    OwnProperty& port = *own_.at(prop::kDevicePort);
    if (!port.Defined()) port.Define(*this);
}

bool KavriDriver::saveConfigItems(FILE* fp) {
    // The controller and the settings store hold everything else; only the debug options and
    // the presets live in INDI's configuration file.
    INDI::DefaultDevice::saveConfigItems(fp);
    IUSaveConfigNumber(fp, &PresetNP);
    return true;
}

bool KavriDriver::updateProperties() {
    const bool connected = isConnected();
    // Values first, then the definitions that carry them: nothing is updated before a client
    // knows the property.
    const bool focuser = connected && snapshot_.focuserPresent;
    if (focuser) ApplyFocuser(snapshot_, false);
    if (focuser != focuserShown_) {
        INDI::Focuser::updateProperties();
        focuserShown_ = focuser;
    }
    const bool wheel = connected && snapshot_.wheelPresent;
    if (wheel) {
        BuildFilterNames(snapshot_);
        ApplyWheel(snapshot_, false);
    }
    if (wheel != wheelShown_) {
        FilterInterface::updateProperties();
        wheelShown_ = wheel;
    }
    SyncOwn(connected);
    if (connected && timerId_ < 0) {
        timerId_ = SetTimer(getCurrentPollingPeriod());
    } else if (!connected && timerId_ >= 0) {
        RemoveTimer(timerId_);
        timerId_ = -1;
    }
    return true;
}

void KavriDriver::ResetStates() {
    // What the connection has just read is Ok; everything a client may ask for is Idle.
    FocusAbsPosNP.s = IPS_OK;
    FilterSlotNP.s = IPS_OK;
    for (auto* vector : {&FocusRelPosNP, &FocusSyncNP, &FocusMaxPosNP, &FocusSpeedNP,
                         &FocusBacklashNP, &PresetNP}) {
        vector->s = IPS_IDLE;
    }
    for (auto* vector : {&FocusMotionSP, &FocusBacklashSP, &PresetGotoSP}) vector->s = IPS_IDLE;
    FilterNameTP->s = IPS_IDLE;
    for (auto& [name, property] : own_) {
        if (property->Spec().shown != Shown::Always) property->SetState(IPS_IDLE);
    }
}

void KavriDriver::SyncOwn(bool connected) {
    for (auto& [name, property] : own_) {
        const Shown shown = property->Spec().shown;
        if (shown == Shown::Always) continue;
        const bool present =
            shown == Shown::Focuser ? snapshot_.focuserPresent : snapshot_.wheelPresent;
        // A property without elements (no thermometers) is not offered at all.
        const std::vector<Element> elements =
            connected && present ? ElementsFor(name, snapshot_) : std::vector<Element>{};
        if (elements.empty()) {
            if (property->Defined()) property->Delete(*this);
            continue;
        }
        const bool defined = property->Defined();
        property->Update(*this, elements);
        if (!defined) property->Define(*this);
    }
    const auto& readings = snapshot_.readings;
    const int preferred = snapshot_.settings.AscomPreferredTermometer;
    const bool temperatureRead = preferred >= 0 && preferred < kMaxThermometers &&
                                 readings.temperatures[preferred].has_value();
    OwnProperty& temperature = *own_.at(prop::kTemperature);
    const IPState state = temperatureRead ? IPS_OK : IPS_ALERT;
    if (temperature.Defined() && temperature.State() != state) temperature.Send(state);
}

void KavriDriver::TimerHit() {
    timerId_ = -1;
    if (link_ != Link::Up) return;
    // Skipped while a command runs: the poll never delays one.
    DeviceWorker* worker = worker_.get();
    const uint64_t session = session_;
    worker_->SubmitBackground(
        [worker](DeviceState& state) {
            return PollJob(state, [worker] { return worker->CommandWaiting(); });
        },
        [this, session](const JobResult& result, const DeviceSnapshot& snapshot) {
            if (Current(session)) Apply(snapshot, result.message);
        });
    timerId_ = SetTimer(getCurrentPollingPeriod());
}

// --- Requests --------------------------------------------------------------------------------

bool KavriDriver::ISNewNumber(const char* dev, const char* name, double values[], char* names[],
                              int n) {
    if (dev && std::strcmp(dev, getDeviceName()) == 0) {
        Request request = MakeRequest(name, names, n);
        request.numbers.assign(values, values + n);
        if (Dispatch(request)) return true;
    }
    return INDI::Focuser::ISNewNumber(dev, name, values, names, n);
}

bool KavriDriver::ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[],
                              int n) {
    if (dev && std::strcmp(dev, getDeviceName()) == 0) {
        Request request = MakeRequest(name, names, n);
        for (int i = 0; i < n; ++i) request.states.push_back(states[i] == ISS_ON);
        if (Dispatch(request)) return true;
    }
    return INDI::Focuser::ISNewSwitch(dev, name, states, names, n);
}

bool KavriDriver::ISNewText(const char* dev, const char* name, char* texts[], char* names[],
                            int n) {
    if (dev && std::strcmp(dev, getDeviceName()) == 0) {
        Request request = MakeRequest(name, names, n);
        for (int i = 0; i < n; ++i) request.texts.emplace_back(texts[i] ? texts[i] : "");
        if (Dispatch(request)) return true;
    }
    return INDI::Focuser::ISNewText(dev, name, texts, names, n);
}

bool KavriDriver::Dispatch(const Request& request) {
    static constexpr Route kRoutes[] = {
        {prop::kConnection, Action::Connection},
        {prop::kDevicePort, Action::Port},
        {prop::kAbsPosition, Action::AbsoluteMove},
        {prop::kRelPosition, Action::RelativeMove},
        {prop::kFilterSlot, Action::FilterSlot},
        {prop::kSync, Action::Sync},
        {prop::kMax, Action::Settings},
        {prop::kSpeed, Action::Config},
        {prop::kBacklashSteps, Action::Config},
        {prop::kBacklashToggle, Action::BacklashToggle},
        {prop::kFilterName, Action::Rename},
        {prop::kFocusShift, Action::FocusShift},
        {prop::kThermometerNames, Action::Settings},
        {prop::kCompensation, Action::Compensation},
        {prop::kFocuserSettings, Action::Config},
        {prop::kStepSize, Action::Config},
        {prop::kDriverSettings, Action::Settings},
        {prop::kWheelSettings, Action::Config},
        {prop::kWheelOptions, Action::Config},
        {prop::kPowerOutput, Action::Config},
    };
    const Route* route = nullptr;
    for (const Route& r : kRoutes) {
        if (request.property == r.property) route = &r;
    }
    if (!route) return false;
    const char* name = route->property;
    if (route->action == Action::Connection) {
        OnConnection(request);
        return true;
    }
    if (route->action == Action::Port) {
        OnPort(request);
        return true;
    }
    if (link_ != Link::Up) {
        Reject(name, "Not connected to the controller");
        return true;
    }
    if (DispatchMotion(*route, request)) return true;

    std::string reason;
    switch (route->action) {
        case Action::Sync: {
            const auto target =
                AbsoluteTarget(NumberIn(request, "FOCUS_SYNC_VALUE", NAN), Range(), reason);
            if (!target) return Reject(name, reason), true;
            const int32_t position = *target;
            RunCommand(name, "a position sync",
                       [position](DeviceState& s) { return SyncJob(s, position); });
            return true;
        }
        case Action::Config: {
            auto values = ConfigValuesFor(request, snapshot_, reason);
            if (!values) return Reject(name, reason), true;
            RunCommand(name, "a configuration write",
                       [values = *values](DeviceState& s) { return ConfigJob(s, values); });
            return true;
        }
        case Action::BacklashToggle: {
            bool enable = FocusBacklashS[0].s == ISS_ON;
            for (size_t i = 0; i < request.names.size(); ++i) {
                if (request.names[i] == "INDI_ENABLED") enable = request.states[i];
                if (request.names[i] == "INDI_DISABLED") enable = !request.states[i];
            }
            // The controller has no separate switch: backlash compensation is off at 0 steps.
            const uint16_t steps = enable ? snapshot_.config.focuserBacklash : 0;
            if (enable && steps == 0) {
                return Reject(name, "Set the backlash steps (FOCUS_BACKLASH_STEPS) to enable it"),
                       true;
            }
            RunCommand(name, "a configuration write", [steps](DeviceState& s) {
                return ConfigJob(s, {{FindConfigField("focuserBacklash"), steps}});
            });
            return true;
        }
        case Action::Settings: {
            auto change = SettingsChangeFor(request, snapshot_, reason);
            if (!change) return Reject(name, reason), true;
            RunCommand(name, "saving the settings",
                       [change = *change](DeviceState& s) { return SettingsJob(s, change); });
            return true;
        }
        case Action::Compensation: {
            int choice = -1;
            for (size_t i = 0; i < request.names.size(); ++i) {
                for (int c = 0; c < kCompensationChoices; ++c) {
                    if (request.states[i] && request.names[i] == CompensationElement(c)) choice = c;
                }
            }
            if (choice < 0) return Reject(name, "Choose off or one of the thermometers"), true;
            const int32_t selector = SelectorOfCompensationChoice(choice);
            RunCommand(name, "choosing the compensation thermometer",
                       [selector](DeviceState& s) { return CompensationJob(s, selector); });
            return true;
        }
        case Action::Rename: {
            auto renames = RenamesFor(request, snapshot_, reason);
            if (!renames) return Reject(name, reason), true;
            RunCommand(name, "renaming filters",
                       [renames = *renames, snapshot = snapshot_](DeviceState& s) {
                           return RenameJob(s, renames, [&snapshot](int index) {
                               return FilterLabel(snapshot, index);
                           });
                       });
            return true;
        }
        case Action::FocusShift: {
            auto shifts = FocusShiftsFor(request, snapshot_, reason);
            if (!shifts) return Reject(name, reason), true;
            RunCommand(name, "writing the filter table",
                       [shifts = *shifts](DeviceState& s) { return FocusShiftJob(s, shifts); });
            return true;
        }
        default:
            break;
    }
    return true;
}

// The position properties and the filter slot: checked here, so that every refusal says why
// on the property itself, and nothing is logged as started before it is accepted.
bool KavriDriver::DispatchMotion(const Route& route, const Request& request) {
    const char* name = route.property;
    std::string reason;
    switch (route.action) {
        case Action::AbsoluteMove: {
            const auto target =
                AbsoluteTarget(NumberIn(request, "FOCUS_ABSOLUTE_POSITION", NAN), Range(), reason);
            if (!target || !StartMove(*target, reason)) Reject(name, reason);
            return true;
        }
        case Action::RelativeMove: {
            const double ticks = NumberIn(request, "FOCUS_RELATIVE_POSITION", NAN);
            const bool inward = FocusMotionS[FOCUS_INWARD].s == ISS_ON;
            const auto target =
                RelativeTarget(snapshot_.focuserPosition, inward, ticks, Range(), reason);
            // The property shows the step count of the move it runs.
            const double previous = FocusRelPosN[0].value;
            if (target) FocusRelPosN[0].value = std::round(ticks);
            if (!target || !StartMove(*target, reason)) {
                FocusRelPosN[0].value = previous;
                Reject(name, reason);
            }
            return true;
        }
        case Action::FilterSlot: {
            const double slot = NumberIn(request, "FILTER_SLOT_VALUE", NAN);
            const auto index = IndexOfSlot(slot, static_cast<int>(snapshot_.filters.size()));
            if (!index) {
                reason = "Slot " + (std::isfinite(slot) ? std::to_string(std::lround(slot))
                                                        : std::string("?")) +
                         " does not exist: the wheel has " +
                         std::to_string(snapshot_.filters.size()) + " filters";
            }
            if (!index || !StartFilterChange(*index, reason)) Reject(name, reason);
            return true;
        }
        default:
            return false;
    }
}

void KavriDriver::RunCommand(const char* property, const std::string& activity,
                             DeviceWorker::Work work) {
    std::string refusal;
    const uint64_t session = session_;
    const bool accepted = worker_->Submit(
        activity, std::move(work),
        [this, property, session](const JobResult& result, const DeviceSnapshot& snapshot) {
            if (!Current(session)) return;
            Apply(snapshot, result.message);
            if (link_ != Link::Up) return;  // the line went away; the property ended with it
            Finish(property, result.ok ? IPS_OK : IPS_ALERT, result.message);
        },
        refusal);
    if (accepted) {
        Finish(property, IPS_BUSY, {});
    } else {
        Reject(property, refusal);
    }
}

void KavriDriver::Finish(const char* property, IPState state, const std::string& message) {
    if (auto own = own_.find(property); own != own_.end() && own->second->Defined()) {
        own->second->Send(state, message);
        return;
    }
    INDI::Property standard = getProperty(property);
    if (own_.count(property) == 0 && standard.isValid()) {
        standard.setState(state);
        if (message.empty()) {
            standard.apply();
        } else {
            standard.apply("%s", message.c_str());
        }
        return;
    }
    // Not defined now (no connection): a client that still shows it reads the reason here.
    if (!message.empty()) LOGF_WARN("%s: %s", property, message.c_str());
}

void KavriDriver::Reject(const char* property, const std::string& reason) {
    // The values sent with the state are the device's own, which puts back what a client may
    // already show of its request. An operation of this property that still runs keeps it Busy.
    IPState state = IPS_ALERT;
    if (auto own = own_.find(property); own != own_.end()) {
        if (own->second->Defined()) own->second->Update(*this, ElementsFor(property, snapshot_));
        if (own->second->State() == IPS_BUSY) state = IPS_BUSY;
    } else if (INDI::Property standard = getProperty(property); standard.isValid()) {
        if (standard.getState() == IPS_BUSY) state = IPS_BUSY;
    }
    Finish(property, state, reason);
}

// --- Applying the device's state -------------------------------------------------------------

void KavriDriver::Apply(const DeviceSnapshot& snapshot, const std::string& message) {
    const bool wheelChanged = snapshot.filters.size() != snapshot_.filters.size();
    snapshot_ = snapshot;
    if (link_ != Link::Up) return;
    if (!snapshot.connected) {
        // The line went away under a job: the connection is over, and the job says why.
        EndConnection(IPS_ALERT, message, message);
        return;
    }
    if (snapshot.focuserPresent) ApplyFocuser(snapshot, true);
    if (snapshot.wheelPresent) {
        if (wheelChanged) {
            deleteProperty(prop::kFilterName);
            BuildFilterNames(snapshot);
            defineProperty(FilterNameTP);
        }
        ApplyWheel(snapshot, true);
    }
    SyncOwn(true);
}

}  // namespace kavri::indi
