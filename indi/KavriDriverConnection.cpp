// SPDX-License-Identifier: GPL-3.0-or-later
// Connecting and disconnecting. Both are answered at once and never refused: a connection is
// queued behind whatever the worker still runs, and a disconnect ends the connection for the
// clients at once - the controller finishes a move on its own, the worker closes the port
// when that move's wait is over, and the next connection reads where the move ended.
#include <algorithm>
#include <cstring>

#include "device/FilterEntry.h"
#include "indi/KavriDriver.h"

namespace kavri::indi {

void KavriDriver::OnConnection(const Request& request) {
    bool connect = link_ != Link::Down;
    for (size_t i = 0; i < request.names.size(); ++i) {
        if (request.names[i] == "CONNECT" && request.states[i]) connect = true;
        if (request.names[i] == "DISCONNECT" && request.states[i]) connect = false;
    }
    if (connect) {
        if (link_ == Link::Down) return StartConnect();
        // Asked again: the present state is the answer.
        INDI::PropertySwitch connection = getSwitch(prop::kConnection);
        connection.apply();
        return;
    }
    if (link_ == Link::Down) {
        setConnected(false, IPS_IDLE);
        return;
    }
    std::string note;
    if (link_ == Link::Connecting) {
        note = "Connection attempt cancelled";
    } else if (move_.active) {
        note = "Disconnected during the move to " + std::to_string(move_.clientTarget) +
               ": the controller finishes it on its own, and the next connection reads where "
               "it ended";
    } else if (worker_->Busy()) {
        note = "Disconnected during " + worker_->Activity() +
               ": the next connection reads the controller's state afresh";
    }
    EndConnection(IPS_IDLE, note, note);
}

void KavriDriver::StartConnect() {
    const auto choice = ParsePortChoice(own_.at(prop::kDevicePort)->TextOf("PORT"));
    if (!choice) {
        setConnected(false, IPS_ALERT, "Set DEVICE_PORT to auto, COMn or a device path");
        return;
    }
    // A move that outlived the last connection is waited for; the client learns why.
    const std::string waitingFor = worker_->Activity();
    ++session_;
    link_ = Link::Connecting;
    const uint64_t session = session_;
    worker_->Queue(
        "connecting", [choice = *choice](DeviceState& s) { return ConnectJob(s, choice); },
        [this, session](const JobResult& result, const DeviceSnapshot& snapshot) {
            if (!Current(session)) return;  // cancelled: the disconnect queued behind follows
            snapshot_ = snapshot;
            if (!snapshot.connected) {
                link_ = Link::Down;
                setConnected(false, IPS_ALERT,
                             result.message.empty() ? nullptr : result.message.c_str());
                return;
            }
            link_ = Link::Up;
            ResetStates();
            setConnected(true, IPS_OK);
            LOGF_INFO("Connected on %s%s%s", snapshot.portName.c_str(),
                      snapshot.wheelPresent ? ", filter wheel" : "",
                      snapshot.focuserPresent ? ", focuser" : "");
            updateProperties();
            const bool ownPositions =
                snapshot.focuserPresent &&
                std::any_of(snapshot.filters.begin(), snapshot.filters.end(),
                            [](const FilterEntry& f) {
                                return f.focuserPosition <= kNoFocuserPosition;
                            });
            if (ownPositions) {
                LOG_INFO("Filters with their own focus position (Filter focus, up to 10000): "
                         "the controller moves the focuser there at every filter change. Use "
                         "either these or Ekos' filter offsets, not both");
            }
        });
    INDI::PropertySwitch connection = getSwitch(prop::kConnection);
    connection.setState(IPS_BUSY);
    if (waitingFor.empty()) {
        connection.apply();
    } else {
        connection.apply("Connecting once %s has ended", waitingFor.c_str());
    }
}

void KavriDriver::EndConnection(IPState state, const std::string& message,
                                const std::string& busyMessage) {
    ++session_;
    link_ = Link::Down;
    StopMoveProgress();
    for (INDI::Property property : getProperties()) {
        if (property.getState() != IPS_BUSY) continue;
        if (std::strcmp(property.getName(), prop::kConnection) == 0) continue;
        property.setState(IPS_ALERT);
        if (busyMessage.empty()) {
            property.apply();
        } else {
            property.apply("%s", busyMessage.c_str());
        }
    }
    setConnected(false, state, message.empty() ? nullptr : message.c_str());
    updateProperties();
    // After a hang-up the device is disconnected already; the job then has nothing to do.
    const uint64_t session = session_;
    worker_->Queue(
        "disconnecting", [](DeviceState& s) { return DisconnectJob(s); },
        [this, session](const JobResult&, const DeviceSnapshot& snapshot) {
            if (session == session_) snapshot_ = snapshot;
        });
}

void KavriDriver::OnPort(const Request& request) {
    OwnProperty& port = *own_.at(prop::kDevicePort);
    const std::string text = request.texts.empty() ? std::string() : request.texts.front();
    if (!ParsePortChoice(text)) {
        port.Send(IPS_ALERT, "Not a port: \"" + text +
                                 "\"; use auto, COM1..COM16 (or 1..16) or a device path");
        return;
    }
    Element element;
    element.name = "PORT";
    element.label = "Port";
    element.text = text;
    // The new value goes out with its own state only, never with the refusal's before it.
    port.Update(*this, {element}, false);
    port.Send(IPS_OK, link_ != Link::Down ? "Used at the next connection" : "");
}

}  // namespace kavri::indi
