// SPDX-License-Identifier: GPL-3.0-or-later
// How every front end - the desktop program, kavrictl, the INDI driver and the Alpaca server -
// reaches the device for what each of them used to do its own way: connecting to the port the
// user chose, and changing the controller's configuration. Free functions beside the device,
// so WheelFocuserDevice keeps the fields and the interface of its object model unchanged, and
// each operation is written once here rather than once per front end.
//
// Every operation returns false for failure with the reason, in words for the user, in the
// device's failureReason: the one place every front end reads it from.
#pragma once

#include <optional>
#include <string>

#include "device/ConfigFields.h"
#include "device/WheelFocuserDevice.h"
#include "transport/PortChoice.h"

namespace kavri {

struct ConnectRequest {
    PortChoice port{};  // Auto, COMn or a device path
    // Keep a COM choice as the stored port (ComPort), as the desktop program keeps the port the
    // user chose; a device path is never stored. Off: the choice is for this connection only.
    bool storePort = false;
    // The diagnostic log file of this connection only; std::nullopt: the stored LogFile.
    std::optional<std::string> logFile{};
    // A client of the desktop program joining the shared connection (ClientSet): the first
    // client opens the port, later ones find it open. nullptr: no client set.
    const void* client = nullptr;
};

// Connects on the chosen port: opens it (or searches COM1..COM16 for Auto), probes which
// mechanisms answer and reads the controller's state, and opens the log file afresh. Neither
// the stored settings nor any process-wide state steer it. On success portNumber is the COM
// number connected to (0 for a device path).
bool ConnectTo(WheelFocuserDevice& device, const ConnectRequest& request);

// Stores a COM choice (Auto or COMn) as the device's ComPort; a device path leaves it alone.
void StorePortChoice(WheelFocuserDevice& device, const PortChoice& choice);

// The one configuration write of every front end. Checks every value against its field's range
// and the filter table's positions against what a slot holds - a refusal sends nothing - then
// puts the values and the filter rows into the image, writes all 144 bytes, reads them back and
// compares, and refreshes the filter table from the image the controller now holds (its count
// may have changed). Afterwards the device's copy is what the controller holds, whatever
// happened: a value the controller did not take never lingers in it.
bool WriteConfiguration(WheelFocuserDevice& device, const ConfigValues& values = {});

// What a failed operation tells the user, the same in every front end: `context` (what was being
// done; empty for none), then the device's failureReason, or that the controller did not answer
// when the operation ended without one (a reply that never came).
std::string FailureText(const WheelFocuserDevice& device, const std::string& context = {});

}  // namespace kavri
