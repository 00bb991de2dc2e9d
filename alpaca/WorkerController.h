// SPDX-License-Identifier: GPL-3.0-or-later
// The Alpaca devices over the one thread that owns the controller (the servers' device
// worker): the adapter between the members and the device. Reads come from the latest snapshot
// the worker delivered; operations become jobs on the worker. The worker tells of completions
// by posting their delivery to the server's event loop, and a timer polls the controller once
// a second while connected.
//
// Each device has its own connection as its clients see it; the port opens with the first
// and closes with the last. One command runs at a time: a move or a filter change asked for
// while another runs is refused at once as an invalid operation.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "alpaca/AsioInclude.h"
#include "alpaca/Controller.h"
#include "server/DeviceWorker.h"
#include "server/Mappings.h"

namespace kavri {
class SettingsStore;
}

namespace kavri::alpaca {

class WorkerController final : public Controller {
public:
    // Starts the worker, which builds the device from `store`. `port` is the command line's
    // choice; without one, the stored port is used.
    WorkerController(boost::asio::io_context& io, SettingsStore& store,
                     std::optional<PortChoice> port);
    // Lets a running job end, then closes the port and saves the settings.
    ~WorkerController() override;

    // Ends the poll and the watch on the worker, so the event loop can finish.
    void Stop();
    // What the controller is doing now (empty: nothing), for a message at the stop.
    std::string Activity() const;

    ControllerView View() const override;
    void Connect(DeviceKind device, Done done) override;
    void Disconnect(DeviceKind device, Done done) override;
    Outcome Move(int32_t position) override;
    Outcome SelectSlot(int32_t slot) override;
    void SetTempComp(bool on, Done done) override;
    void ChoosePort(const std::string& text, Done done) override;

private:
    enum class Link { kOff, kConnecting, kOn, kDisconnecting };
    enum class Command { kNone, kConnect, kDisconnect, kMove, kFilterChange, kCompensation,
                         kSettings };

    void SchedulePoll();
    // Opens or closes the port when what the devices want differs from what is.
    void Reconcile();
    // Runs `work` as the worker's command; false (with the reason) when another runs.
    bool Run(Command command, const std::string& activity, server::DeviceWorker::Work work,
             server::DeviceWorker::Done done, std::string& refusal);
    // Takes a snapshot from a completion; a connection the line lost ends both devices'.
    void Apply(const server::JobResult& result, const server::DeviceSnapshot& snapshot);
    void Settle(DeviceKind device, Link link, const Outcome& outcome);
    bool Present(DeviceKind device) const;
    // Why a command cannot start now; empty when it can.
    std::string BusyReason() const;
    int PreferredThermometer() const;

    boost::asio::io_context& io_;
    // Alive as long as this object: a delivery the worker posted runs only while it is.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::unique_ptr<server::DeviceWorker> worker_;
    server::DeviceSnapshot snapshot_;
    boost::asio::steady_timer poll_;
    bool stopped_ = false;

    PortChoice choice_;
    Link links_[kDeviceKinds] = {Link::kOff, Link::kOff};
    std::vector<Done> waiters_[kDeviceKinds];
    Command command_ = Command::kNone;
    std::string activity_;
    int32_t targetSlot_ = -1;
    std::string lastProblem_;
};

}  // namespace kavri::alpaca
