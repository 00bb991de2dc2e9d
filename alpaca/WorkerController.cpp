// SPDX-License-Identifier: GPL-3.0-or-later
#include "alpaca/WorkerController.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "device/FilterEntry.h"
#include "device/TemperatureLog.h"
#include "device/DeviceOperations.h"
#include "server/DeviceJobs.h"
#include "transport/PortNaming.h"

namespace kavri::alpaca {

namespace {

using namespace std::chrono_literals;
constexpr auto kPollInterval = 1s;

// A filter change, then where the focuser stands: the controller moves the focuser to the
// filter's own position itself as the wheel turns.
server::JobResult ChangeFilterJob(server::DeviceState& state, int32_t index,
                                  const std::string& label) {
    server::JobResult result = server::SelectFilterJob(state, index, label);
    if (state.device.port != nullptr && state.device.focuserPresent) {
        int32_t position = 0;
        state.device.GetPosition(position);
    }
    return result;
}

std::string ChoiceLabel(const PortChoice& choice) {
    if (!choice.IsPath() && !IsComPortNumber(choice.number)) return "Auto";
    return PortChoiceText(choice);
}

// A reading as the controller gives it, in hundredths of a degree: 12.34, not the single
// precision 12.340000152.
std::optional<double> Degrees(const std::optional<float>& reading) {
    if (!reading) return std::nullopt;
    return std::round(static_cast<double>(*reading) * 100.0) / 100.0;
}

int Index(DeviceKind device) {
    return static_cast<int>(device);
}

}  // namespace

WorkerController::WorkerController(boost::asio::io_context& io, SettingsStore& store,
                                   std::optional<PortChoice> port)
    : io_(io), poll_(io) {
    // The worker's thread posts the delivery to the event loop; it runs there, unless this
    // object is gone by then.
    worker_ = std::make_unique<server::DeviceWorker>(
        store, [this, &io, alive = std::weak_ptr<bool>(alive_)] {
            boost::asio::post(io, [this, alive] {
                if (alive.lock() && !stopped_) worker_->Deliver();
            });
        });
    snapshot_ = worker_->InitialSnapshot();
    const int stored = snapshot_.settings.ComPort;
    choice_ = port ? *port : PortChoice{IsComPortNumber(stored) ? stored : 0, {}};
    SchedulePoll();
}

WorkerController::~WorkerController() {
    Stop();
    worker_.reset();
}

void WorkerController::Stop() {
    stopped_ = true;
    poll_.cancel();
}

std::string WorkerController::Activity() const {
    return activity_;
}

void WorkerController::SchedulePoll() {
    poll_.expires_after(kPollInterval);
    poll_.async_wait([this](boost::system::error_code error) {
        if (error || stopped_) return;
        if (snapshot_.connected) {
            // Skipped while a command runs, and it gives way between exchanges to one that
            // arrives: the poll never delays a client's command.
            server::DeviceWorker* worker = worker_.get();
            worker_->SubmitBackground(
                [worker](server::DeviceState& state) {
                    return server::PollJob(state, [worker] { return worker->CommandWaiting(); });
                },
                [this](const server::JobResult& result, const server::DeviceSnapshot& snapshot) {
                    Apply(result, snapshot);
                    Reconcile();
                });
        }
        SchedulePoll();
    });
}

bool WorkerController::Run(Command command, const std::string& activity,
                           server::DeviceWorker::Work work, server::DeviceWorker::Done done,
                           std::string& refusal) {
    const bool accepted = worker_->Submit(
        activity, std::move(work),
        [this, done = std::move(done)](const server::JobResult& result,
                                       const server::DeviceSnapshot& snapshot) {
            // The command is still the running one while its completion is applied.
            done(result, snapshot);
            command_ = Command::kNone;
            activity_.clear();
            targetSlot_ = -1;
            Reconcile();
        },
        refusal);
    if (accepted) {
        command_ = command;
        activity_ = activity;
    }
    return accepted;
}

void WorkerController::Apply(const server::JobResult& result, const server::DeviceSnapshot& snapshot) {
    const bool wasOpen = snapshot_.connected;
    snapshot_ = snapshot;
    if (!result.ok && !result.message.empty()) {
        lastProblem_ = result.message;
        std::cerr << "kavri-alpaca: " << result.message << std::endl;
    }
    if (!wasOpen || snapshot.connected || command_ == Command::kDisconnect) return;
    // The line went away under a job: both devices are disconnected, and say why.
    if (result.message.empty()) lastProblem_ = "The connection to the controller was lost";
    for (const DeviceKind device : {DeviceKind::Focuser, DeviceKind::FilterWheel}) {
        if (links_[Index(device)] == Link::kOn) Settle(device, Link::kOff, {});
    }
}

void WorkerController::Settle(DeviceKind device, Link link, const Outcome& outcome) {
    links_[Index(device)] = link;
    std::vector<Done> waiters;
    waiters.swap(waiters_[Index(device)]);
    for (const Done& done : waiters) done(outcome);
}

bool WorkerController::Present(DeviceKind device) const {
    return device == DeviceKind::Focuser ? snapshot_.focuserPresent : snapshot_.wheelPresent;
}

void WorkerController::Reconcile() {
    if (stopped_) return;
    // A device connecting while the port is open (the other device holds it) is connected at
    // once when the controller has its mechanism.
    if (snapshot_.connected && command_ != Command::kDisconnect) {
        for (const DeviceKind device : {DeviceKind::Focuser, DeviceKind::FilterWheel}) {
            if (links_[Index(device)] != Link::kConnecting) continue;
            if (Present(device)) {
                Settle(device, Link::kOn, {});
            } else {
                const std::string reason = "The controller on " + snapshot_.portName + " has no " +
                                           (device == DeviceKind::Focuser ? "focuser" : "filter wheel");
                lastProblem_ = reason;
                Settle(device, Link::kOff, Outcome::Fail(ascom::kControllerError, reason));
            }
        }
    }
    if (worker_->Busy()) return;
    const bool wanted = std::any_of(std::begin(links_), std::end(links_), [](Link link) {
        return link == Link::kConnecting || link == Link::kOn;
    });
    std::string refusal;
    if (wanted && !snapshot_.connected) {
        const PortChoice choice = choice_;
        Run(Command::kConnect, "connecting to " + ChoiceLabel(choice),
            [choice](server::DeviceState& state) { return server::ConnectJob(state, choice); },
            [this](const server::JobResult& result, const server::DeviceSnapshot& snapshot) {
                Apply(result, snapshot);
                if (snapshot.connected) return;
                const std::string reason =
                    result.message.empty() ? "No controller answered" : result.message;
                for (const DeviceKind device : {DeviceKind::Focuser, DeviceKind::FilterWheel}) {
                    if (links_[Index(device)] == Link::kConnecting) {
                        Settle(device, Link::kOff,
                               Outcome::Fail(ascom::kControllerError, reason));
                    }
                }
            },
            refusal);
    } else if (!wanted && snapshot_.connected) {
        Run(Command::kDisconnect, "disconnecting",
            [](server::DeviceState& state) { return server::DisconnectJob(state); },
            [this](const server::JobResult& result, const server::DeviceSnapshot& snapshot) {
                Apply(result, snapshot);
                for (const DeviceKind device : {DeviceKind::Focuser, DeviceKind::FilterWheel}) {
                    if (links_[Index(device)] == Link::kDisconnecting) {
                        Settle(device, Link::kOff, {});
                    }
                }
            },
            refusal);
    } else if (!snapshot_.connected) {
        for (const DeviceKind device : {DeviceKind::Focuser, DeviceKind::FilterWheel}) {
            if (links_[Index(device)] == Link::kDisconnecting) Settle(device, Link::kOff, {});
        }
    }
}

void WorkerController::Connect(DeviceKind device, Done done) {
    Link& link = links_[Index(device)];
    if (link == Link::kOn) return done({});
    // A disconnect still closing the port is done as far as its clients are concerned.
    if (link == Link::kDisconnecting) Settle(device, Link::kOff, {});
    link = Link::kConnecting;
    waiters_[Index(device)].push_back(std::move(done));
    Reconcile();
}

void WorkerController::Disconnect(DeviceKind device, Done done) {
    const int d = Index(device);
    Link& link = links_[d];
    if (link == Link::kOff) return done({});
    if (link == Link::kDisconnecting) return waiters_[d].push_back(std::move(done));
    if (link == Link::kConnecting) {
        Settle(device, Link::kOff,
               Outcome::Fail(ascom::kNotConnected, "A disconnect was asked for before the "
                                                    "connection was made"));
    }
    const Link other = links_[1 - d];
    const bool last = other != Link::kOn && other != Link::kConnecting;
    if (last && snapshot_.connected && !worker_->Busy()) {
        // Answered once the port is closed, so the client may hand it to another program.
        link = Link::kDisconnecting;
        waiters_[d].push_back(std::move(done));
    } else {
        // The other device keeps the port, or a command runs: the controller finishes it on
        // its own and the port closes after it. The device is disconnected at once.
        link = Link::kOff;
        done({});
    }
    Reconcile();
}

std::string WorkerController::BusyReason() const {
    switch (command_) {
        case Command::kNone: return worker_->Busy() ? "The controller is busy" : "";
        case Command::kMove: return "The focuser is still moving; " + activity_;
        case Command::kFilterChange: return "The filter wheel is turning; " + activity_;
        default: return "The controller is busy " + activity_;
    }
}

int WorkerController::PreferredThermometer() const {
    return snapshot_.settings.AscomPreferredTermometer;
}

Outcome WorkerController::Move(int32_t position) {
    if (links_[Index(DeviceKind::Focuser)] != Link::kOn) {
        return Outcome::Fail(ascom::kNotConnected, "The focuser is not connected");
    }
    std::string reason;
    const server::FocusRange range{snapshot_.settings.AscomFocusShift,
                                   snapshot_.settings.AscomMaxFocusPos};
    const auto target = server::AbsoluteTarget(position, range, reason);
    if (!target) return Outcome::Fail(ascom::kInvalidValue, reason);
    if (const std::string busy = BusyReason(); !busy.empty()) {
        return Outcome::Fail(ascom::kInvalidOperation, busy);
    }
    std::string refusal;
    const int32_t controllerTarget = *target;
    if (!Run(Command::kMove, "moving the focuser to " + std::to_string(position),
             [controllerTarget](server::DeviceState& state) {
                 return server::MoveJob(state, controllerTarget);
             },
             [this](const server::JobResult& result, const server::DeviceSnapshot& snapshot) {
                 Apply(result, snapshot);
             },
             refusal)) {
        return Outcome::Fail(ascom::kInvalidOperation, refusal);
    }
    return {};
}

Outcome WorkerController::SelectSlot(int32_t slot) {
    if (links_[Index(DeviceKind::FilterWheel)] != Link::kOn) {
        return Outcome::Fail(ascom::kNotConnected, "The filter wheel is not connected");
    }
    const auto count = static_cast<int32_t>(snapshot_.filters.size());
    if (slot < 0 || slot >= count) {
        return Outcome::Fail(ascom::kInvalidValue,
                             "Slot " + std::to_string(slot) + " does not exist: the wheel has "
                             "slots 0 to " + std::to_string(count - 1));
    }
    if (const std::string busy = BusyReason(); !busy.empty()) {
        return Outcome::Fail(ascom::kInvalidOperation, busy);
    }
    const std::string name =
        server::DisplayName(snapshot_.filters[static_cast<size_t>(slot)].name, kConfigNameLength);
    const std::string label = "Slot " + std::to_string(slot) + " (\"" + name + "\")";
    std::string refusal;
    if (!Run(Command::kFilterChange,
             "turning the wheel to slot " + std::to_string(slot) + " (\"" + name + "\")",
             [slot, label](server::DeviceState& state) {
                 return ChangeFilterJob(state, slot, label);
             },
             [this](const server::JobResult& result, const server::DeviceSnapshot& snapshot) {
                 Apply(result, snapshot);
             },
             refusal)) {
        return Outcome::Fail(ascom::kInvalidOperation, refusal);
    }
    targetSlot_ = slot;
    return {};
}

void WorkerController::SetTempComp(bool on, Done done) {
    if (links_[Index(DeviceKind::Focuser)] != Link::kOn) {
        return done(Outcome::Fail(ascom::kNotConnected, "The focuser is not connected"));
    }
    const int preferred = PreferredThermometer();
    if (on && !View().focuser.tempCompAvailable) {
        return done(Outcome::Fail(
            ascom::kInvalidOperation,
            "Compensation follows thermometer T" + std::to_string(preferred) +
                ", which the controller does not have; choose another with the desktop program "
                "or kavrictl compensation N"));
    }
    if (const std::string busy = BusyReason(); !busy.empty()) {
        return done(Outcome::Fail(ascom::kInvalidOperation, busy));
    }
    const int32_t selector = on ? preferred : -1;
    std::string refusal;
    const bool accepted = Run(
        Command::kCompensation,
        on ? "switching temperature compensation on" : "switching temperature compensation off",
        [selector](server::DeviceState& state) { return server::CompensationJob(state, selector); },
        [this, done](const server::JobResult& result, const server::DeviceSnapshot& snapshot) {
            Apply(result, snapshot);
            done(result.ok ? Outcome{} : Outcome::Fail(ascom::kControllerError, result.message));
        },
        refusal);
    if (!accepted) done(Outcome::Fail(ascom::kInvalidOperation, refusal));
}

void WorkerController::ChoosePort(const std::string& text, Done done) {
    const auto parsed = ParsePortChoice(text);
    if (!parsed) {
        return done(Outcome::Fail(ascom::kInvalidValue,
                                  "\"" + text + "\" is no port: choose Auto or COM1 to COM16"));
    }
    if (!parsed->devicePath.empty()) {
        if (parsed->devicePath == choice_.devicePath) return done({0, "The port stays " + text});
        return done(Outcome::Fail(ascom::kInvalidValue,
                                  "A device path is given on the command line (--port); here "
                                  "choose Auto or a COM port"));
    }
    choice_ = *parsed;
    const std::string label = ChoiceLabel(choice_);
    const std::string when = snapshot_.connected
                                 ? ": it is used once both devices have disconnected"
                                 : ": it is used at the next connection";
    const int number = choice_.number;
    std::string refusal;
    const bool accepted = !worker_->Busy() && Run(
        Command::kSettings, "storing the port",
        [number](server::DeviceState& state) {
            return server::SettingsJob(state, [number](WheelFocuserDevice& device) {
                StorePortChoice(device, PortChoice{number, {}});
            });
        },
        [done, label, when](const server::JobResult& result, const server::DeviceSnapshot&) {
            done(result.ok ? Outcome{0, label + " is stored" + when}
                           : Outcome::Fail(ascom::kControllerError,
                                           label + " is chosen for this run" + when + ", but " +
                                               result.message));
        },
        refusal);
    // While a command runs, the choice is stored when the port next opens with it.
    if (!accepted) done({0, label + " is chosen" + when + ", and stored then"});
}

ControllerView WorkerController::View() const {
    ControllerView view;
    for (int d = 0; d < kDeviceKinds; ++d) {
        view.connected[d] = links_[d] == Link::kOn;
        view.connecting[d] = links_[d] == Link::kConnecting || links_[d] == Link::kDisconnecting;
    }
    const server::DeviceSnapshot& s = snapshot_;
    const int thermometers = std::min<int>(s.config.thermometerCount, kMaxThermometers);
    const int preferred = s.settings.AscomPreferredTermometer;

    FocuserView& focuser = view.focuser;
    focuser.present = s.focuserPresent;
    focuser.position = server::ClientPosition(s.focuserPosition, s.settings.AscomFocusShift);
    bool shiftMoves = false;
    if (command_ == Command::kFilterChange && targetSlot_ >= 0 &&
        static_cast<size_t>(targetSlot_) < s.filters.size()) {
        shiftMoves = s.filters[static_cast<size_t>(targetSlot_)].focuserPosition <= kNoFocuserPosition;
    }
    focuser.moving = command_ == Command::kMove || (s.focuserPresent && shiftMoves);
    focuser.maxStep = s.settings.AscomMaxFocusPos;
    focuser.stepSize = s.settings.StepLenInMicrons;
    if (preferred >= 0 && preferred < thermometers) {
        focuser.temperature = Degrees(s.readings.temperatures[static_cast<size_t>(preferred)]);
    }
    focuser.tempComp = s.readings.compensation.value_or(-1) >= 0;
    focuser.tempCompAvailable = s.focuserPresent && preferred >= 0 &&
                                preferred < std::min(thermometers, kThermometerSlots);

    WheelView& wheel = view.wheel;
    wheel.present = s.wheelPresent;
    for (const FilterEntry& filter : s.filters) {
        wheel.names.push_back(server::DisplayName(filter.name, kConfigNameLength));
    }
    wheel.position = command_ == Command::kFilterChange ? -1 : s.currentFilter;

    view.portChoice = PortChoiceText(choice_);
    view.portName = s.connected ? s.portName : "";
    view.activity = activity_;
    view.lastProblem = lastProblem_;
    if (s.focuserPresent) {
        for (int i = 0; i < thermometers; ++i) {
            view.temperatures.push_back(Degrees(s.readings.temperatures[static_cast<size_t>(i)]));
        }
    }
    return view;
}

}  // namespace kavri::alpaca
