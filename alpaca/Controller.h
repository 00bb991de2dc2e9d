// SPDX-License-Identifier: GPL-3.0-or-later
// What the Alpaca members need of the controller: the latest known state, read at once, and
// the operations, which never block the caller. An operation that takes time either returns
// at once and shows its progress in the state (a move, a filter change, `connect`), or reports
// its end through a callback (a connection asked for with `Connected`, temperature
// compensation, the port choice). Every call and callback happens on the server's one thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "alpaca/Protocol.h"

namespace kavri::alpaca {

struct FocuserView {
    bool present = false;      // the controller has a focuser
    int64_t position = 0;      // the client's position: the controller's plus the shift
    bool moving = false;       // a move runs, or a filter change moves the focuser
    int32_t maxStep = 0;       // the largest position offered
    double stepSize = 0;       // microns per step
    std::optional<double> temperature;  // the compensation thermometer's latest reading
    bool tempComp = false;      // the controller compensates now
    bool tempCompAvailable = false;  // the stored compensation thermometer exists
};

struct WheelView {
    bool present = false;            // the controller has a filter wheel
    std::vector<std::string> names;  // UTF-8, one per slot
    int32_t position = -1;           // from 0; -1 while the wheel turns or when it is unknown
};

struct ControllerView {
    std::array<bool, kDeviceKinds> connected{};   // as each device's clients see it
    std::array<bool, kDeviceKinds> connecting{};  // a connect or disconnect of it runs
    FocuserView focuser;
    WheelView wheel;
    // For the setup pages.
    std::string portChoice;  // "auto", "COM3" or a device path: used at the next connection
    std::string portName;    // the port in use while connected
    std::string activity;    // what the controller is doing now; empty when idle
    std::string lastProblem;  // the latest failure, in words for the user; empty when none
    std::vector<std::optional<double>> temperatures;  // every thermometer the controller has
};

class Controller {
public:
    using Done = std::function<void(const Outcome&)>;

    virtual ~Controller() = default;

    virtual ControllerView View() const = 0;

    // The device's clients want it connected (or no longer): the port opens when the first
    // device connects and closes when the last one disconnects. `done` runs once that is
    // settled for this device, with the reason when it failed.
    virtual void Connect(DeviceKind device, Done done) = 0;
    virtual void Disconnect(DeviceKind device, Done done) = 0;

    // Starts an absolute move to the client's `position`; returns at once.
    virtual Outcome Move(int32_t position) = 0;
    // Starts turning the wheel to `slot` (from 0); returns at once.
    virtual Outcome SelectSlot(int32_t slot) = 0;
    // Switches the controller's temperature compensation with the stored thermometer.
    virtual void SetTempComp(bool on, Done done) = 0;
    // The port for the next connection: "auto", "COMn" or "n" (n = 1..16). A COM choice is
    // stored in the settings shared with the other programs.
    virtual void ChoosePort(const std::string& text, Done done) = 0;
};

}  // namespace kavri::alpaca
