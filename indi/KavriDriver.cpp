#include "indi/KavriDriver.h"

#include <libindi/eventloop.h>
#include <libindi/indidriver.h>

#include <cstring>

#include "device/PortNaming.h"
#include "device/TemperatureLog.h"
#include "persist/DefaultSettingsStore.h"

namespace kavri::indi {

namespace {

constexpr const char* kDeviceName = "Kavri Wheel Focuser";
constexpr const char* kTemperatureTab = "Temperature";
constexpr const char* kFocuserSettingsTab = "Focuser Settings";
constexpr const char* kWheelSettingsTab = "Wheel Settings";

// The driver's own properties, in the order clients list them.
const std::vector<PropertySpec>& OwnProperties() {
    using K = PropertyKind;
    static const std::vector<PropertySpec> table = {
        {prop::kDevicePort, "Port", CONNECTION_TAB, K::Text, IP_RW, ISR_1OFMANY, Shown::Always},
        {prop::kTemperature, "Temperature", MAIN_CONTROL_TAB, K::Number, IP_RO, ISR_1OFMANY,
         Shown::Focuser},
        {prop::kFocusShift, "Focus Shift (above 10000 = none)", FILTER_TAB, K::Number, IP_RW,
         ISR_1OFMANY, Shown::Wheel},
        {prop::kThermometers, "Thermometers", kTemperatureTab, K::Number, IP_RO, ISR_1OFMANY,
         Shown::Focuser},
        {prop::kThermometerNames, "Thermometer names", kTemperatureTab, K::Text, IP_RW, ISR_1OFMANY,
         Shown::Focuser},
        {prop::kCompensation, "Compensation thermometer", kTemperatureTab, K::Switch, IP_RW,
         ISR_1OFMANY, Shown::Focuser},
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

    // The process-wide port naming and temperature log exist before the worker starts, so at
    // exit they outlive it (statics are destroyed in reverse order of construction).
    SetActivePortNaming(std::nullopt);
    SetActiveTemperatureLog(std::nullopt);
    store_ = OpenDefaultSettingsStore();
    worker_ = std::make_unique<DeviceWorker>(*store_);
    snapshot_ = worker_->InitialSnapshot();
    addCallback(worker_->WakeFd(), &KavriDriver::OnWake, this);
}

KavriDriver::~KavriDriver() {
    worker_.reset();  // the device disconnects and saves its settings on its own thread
    FreeFilterNames();
}

const char* KavriDriver::getDefaultName() {
    return kDeviceName;
}

void KavriDriver::OnWake(int, void* self) {
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
    port.text = PortText(snapshot_.settings.ComPort);
    own_.at(prop::kDevicePort)->Update(*this, {port});

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
    if (connected) {
        ApplyFocuser(snapshot_);
        ApplyWheel(snapshot_);
    }
    if (!connected || snapshot_.focuserPresent) INDI::Focuser::updateProperties();
    if (connected && snapshot_.wheelPresent) BuildFilterNames(snapshot_);
    if (!connected || snapshot_.wheelPresent) FilterInterface::updateProperties();
    DefineOwn(connected);
    if (connected && timerId_ < 0) {
        timerId_ = SetTimer(getCurrentPollingPeriod());
    } else if (!connected && timerId_ >= 0) {
        RemoveTimer(timerId_);
        timerId_ = -1;
    }
    return true;
}

void KavriDriver::DefineOwn(bool connected) {
    for (auto& [name, property] : own_) {
        const Shown shown = property->Spec().shown;
        if (shown == Shown::Always) continue;
        const bool wanted = connected && (shown == Shown::Focuser ? snapshot_.focuserPresent
                                                                  : snapshot_.wheelPresent);
        if (wanted && !property->Defined()) {
            property->Update(*this, ElementsFor(name, snapshot_));
            property->Define(*this);
        } else if (!wanted && property->Defined()) {
            property->Delete(*this);
        }
    }
}

void KavriDriver::TimerHit() {
    timerId_ = -1;
    if (!isConnected()) return;
    // Skipped while a command runs: the poll never delays one.
    DeviceWorker* worker = worker_.get();
    worker_->SubmitBackground(
        [worker](DeviceState& state) {
            return PollJob(state, [worker] { return worker->CommandWaiting(); });
        },
        [this](const JobResult& result, const DeviceSnapshot& snapshot) {
            Apply(snapshot, result.message);
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
        if (std::strcmp(name, prop::kFilterSlot) == 0) {
            return FilterInterface::processNumber(dev, name, values, names, n);
        }
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
    if (!isConnected()) {
        Reject(name, "Not connected to the controller");
        return true;
    }

    std::string reason;
    switch (route->action) {
        case Action::Sync: {
            const auto target =
                SyncTarget(NumberIn(request, "FOCUS_SYNC_VALUE", -1), Range(), reason);
            if (!target) return Reject(name, reason), true;
            const int32_t position = *target;
            RunCommand(name, "a position sync",
                       [position](DeviceState& s) { return SyncJob(s, position); });
            return true;
        }
        case Action::Config: {
            auto change = ConfigChangeFor(request, snapshot_, reason);
            if (!change) return Reject(name, reason), true;
            RunCommand(name, "a configuration write",
                       [change = *change](DeviceState& s) { return ConfigJob(s, change); });
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
                return ConfigJob(s, [steps](ControllerConfig& c) { c.focuserBacklash = steps; });
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
                       [renames = *renames](DeviceState& s) { return RenameJob(s, renames); });
            return true;
        }
        case Action::FocusShift: {
            auto shifts = FocusShiftsFor(request, snapshot_, reason);
            if (!shifts) return Reject(name, reason), true;
            RunCommand(name, "writing the filter table",
                       [shifts = *shifts](DeviceState& s) { return FocusShiftJob(s, shifts); });
            return true;
        }
        case Action::Connection:
        case Action::Port:
            break;
    }
    return true;
}

void KavriDriver::OnPort(const Request& request) {
    OwnProperty& port = *own_.at(prop::kDevicePort);
    const std::string text = request.texts.empty() ? std::string() : request.texts.front();
    if (!ParsePortText(text)) {
        port.Send(IPS_ALERT, "Not a port: \"" + text +
                                 "\"; use auto, COM1..COM16 (or 1..16) or a device path");
        return;
    }
    Element element;
    element.name = "PORT";
    element.label = "Port";
    element.text = text;
    port.Update(*this, {element});
    port.Send(IPS_OK, isConnected() ? "Used at the next connection" : "");
}

void KavriDriver::OnConnection(const Request& request) {
    bool connect = isConnected();
    for (size_t i = 0; i < request.names.size(); ++i) {
        if (request.names[i] == "CONNECT" && request.states[i]) connect = true;
        if (request.names[i] == "DISCONNECT" && request.states[i]) connect = false;
    }
    if (connect == isConnected()) {
        setConnected(connect, connect ? IPS_OK : IPS_IDLE);
        return;
    }
    DeviceWorker::Work work;
    std::string activity;
    if (connect) {
        const auto choice = ParsePortText(own_.at(prop::kDevicePort)->TextOf("PORT"));
        if (!choice) {
            setConnected(false, IPS_ALERT, "Set DEVICE_PORT to auto, COMn or a device path");
            return;
        }
        activity = "connecting";
        work = [choice = *choice](DeviceState& s) { return ConnectJob(s, choice); };
    } else {
        activity = "disconnecting";
        work = [](DeviceState& s) { return DisconnectJob(s); };
    }
    std::string refusal;
    const bool accepted = worker_->Submit(
        activity, std::move(work),
        [this](const JobResult& result, const DeviceSnapshot& snapshot) {
            snapshot_ = snapshot;
            if (snapshot.connected) {
                setConnected(true, IPS_OK);
                LOGF_INFO("Connected on %s%s%s", snapshot.portName.c_str(),
                          snapshot.wheelPresent ? ", filter wheel" : "",
                          snapshot.focuserPresent ? ", focuser" : "");
            } else {
                setConnected(false, result.ok ? IPS_IDLE : IPS_ALERT,
                             result.message.empty() ? nullptr : result.message.c_str());
            }
            updateProperties();
        },
        refusal);
    if (!accepted) {
        setConnected(isConnected(), IPS_ALERT, refusal.c_str());
        return;
    }
    INDI::PropertySwitch connection = getSwitch(prop::kConnection);
    connection.setState(IPS_BUSY);
    connection.apply();
}

void KavriDriver::RunCommand(const char* property, const std::string& activity,
                             DeviceWorker::Work work) {
    std::string refusal;
    const bool accepted = worker_->Submit(
        activity, std::move(work),
        [this, property](const JobResult& result, const DeviceSnapshot& snapshot) {
            Apply(snapshot, result.message);
            Finish(property, result.ok ? IPS_OK : IPS_ALERT, result.message);
        },
        refusal);
    Finish(property, accepted ? IPS_BUSY : IPS_ALERT, refusal);
}

void KavriDriver::Finish(const char* property, IPState state, const std::string& message) {
    if (auto own = own_.find(property); own != own_.end()) {
        own->second->Send(state, message);
        return;
    }
    INDI::Property standard = getProperty(property);
    if (!standard.isValid()) return;
    standard.setState(state);
    if (message.empty()) {
        standard.apply();
    } else {
        standard.apply("%s", message.c_str());
    }
}

void KavriDriver::Reject(const char* property, const std::string& reason) {
    // The client may already show the values it sent; re-sending the device's own ones puts
    // them back.
    Apply(snapshot_);
    if (auto own = own_.find(property); own != own_.end()) {
        own->second->Update(*this, ElementsFor(property, snapshot_));
    }
    Finish(property, IPS_ALERT, reason);
}

// --- Applying the device's state -------------------------------------------------------------

void KavriDriver::Apply(const DeviceSnapshot& snapshot, const std::string& message) {
    const bool wasConnected = isConnected();
    const bool wheelChanged = snapshot.filters.size() != snapshot_.filters.size();
    snapshot_ = snapshot;
    if (!wasConnected) return;
    if (!snapshot.connected) {
        // The line went away under a job: the connection is over, and the job says why.
        setConnected(false, IPS_ALERT, message.empty() ? nullptr : message.c_str());
        updateProperties();
        return;
    }
    if (snapshot.focuserPresent) ApplyFocuser(snapshot);
    if (snapshot.wheelPresent) {
        if (wheelChanged) {
            deleteProperty(prop::kFilterName);
            BuildFilterNames(snapshot);
            defineProperty(FilterNameTP);
        }
        ApplyWheel(snapshot);
    }
    for (auto& [name, property] : own_) {
        if (property->Defined() && property->Spec().shown != Shown::Always) {
            property->Update(*this, ElementsFor(name, snapshot));
        }
    }
    const auto& readings = snapshot.readings;
    const int preferred = snapshot.settings.AscomPreferredTermometer;
    const bool temperatureRead = preferred >= 0 && preferred < kMaxThermometers &&
                                 readings.temperatures[preferred].has_value();
    if (auto t = own_.find(prop::kTemperature); t != own_.end() && t->second->Defined()) {
        const IPState state = temperatureRead ? IPS_OK : IPS_ALERT;
        if (t->second->State() != state) t->second->Send(state);
    }
}

}  // namespace kavri::indi
