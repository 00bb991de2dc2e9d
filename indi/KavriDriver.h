// SPDX-License-Identifier: GPL-3.0-or-later
// indi_kavri: the controller as one INDI device, "Kavri Wheel Focuser", with the focuser and
// the filter-wheel interfaces. This class is the INDI plumbing only: the standard properties
// come from libindi's Focuser and FilterInterface, the driver's own from one table, and every
// client request goes through one dispatch that turns it into a job for the worker thread.
// The event loop never waits on the device: the worker tells of a job's completion through a
// pipe the event loop watches, and the completion is applied here.
//
// Property states follow one rule for every client: a property is defined before any update
// of it; a connection starts every property from the controller's fresh state (Idle, or Ok for
// what was just read); a request goes Busy and ends Ok or Alert; and when the connection ends,
// whatever is still Busy ends Alert with the reason before the properties are deleted.
#pragma once

#include <libindi/indifilterinterface.h>
#include <libindi/indifocuser.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "indi/Mappings.h"
#include "indi/OwnProperty.h"
#include "indi/PropertyValues.h"
#include "server/DeviceWorker.h"

namespace kavri {
class SettingsStore;
}

namespace kavri::indi {

using server::DeviceState;
using server::DeviceWorker;
using server::JobResult;

class KavriDriver : public INDI::Focuser, public INDI::FilterInterface {
public:
    KavriDriver();
    ~KavriDriver() override;

    const char* getDefaultName() override;
    bool initProperties() override;
    bool updateProperties() override;
    void ISGetProperties(const char* dev) override;
    bool ISNewNumber(const char* dev, const char* name, double values[], char* names[],
                     int n) override;
    bool ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[],
                     int n) override;
    bool ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n) override;
    void TimerHit() override;

protected:
    // Connecting runs on the worker (see OnConnection); these are not reached.
    bool Connect() override { return isConnected(); }
    bool Disconnect() override { return true; }
    bool saveConfigItems(FILE* fp) override;

    // Reached through libindi's focuser presets; the driver's own dispatch handles the
    // position properties themselves.
    IPState MoveAbsFocuser(uint32_t targetTicks) override;
    IPState MoveRelFocuser(FocusDirection dir, uint32_t ticks) override;

    int QueryFilter() override;
    bool SelectFilter(int slot) override;
    bool GetFilterNames() override;

private:
    enum class Action {
        Connection,
        Port,
        AbsoluteMove,
        RelativeMove,
        FilterSlot,
        Sync,
        Config,
        BacklashToggle,
        Settings,
        Compensation,
        Rename,
        FocusShift,
    };
    struct Route {
        const char* property;
        Action action;
    };
    // Down: no connection; Connecting: a connect job is queued or runs; Up: connected.
    enum class Link { Down, Connecting, Up };
    // A focuser move in progress, for the progress messages.
    struct Move {
        bool active = false;
        int64_t clientTarget = 0;
        int32_t steps = 0;
        int speed = 0;
        std::chrono::steady_clock::time_point start;
        std::chrono::milliseconds expected{0};
        std::chrono::milliseconds limit{0};
        int timer = -1;
        int ticks = 0;
    };

    // One dispatch for every request the driver handles itself; false: not ours.
    bool Dispatch(const Request& request);
    bool DispatchMotion(const Route& route, const Request& request);
    void OnConnection(const Request& request);
    void OnPort(const Request& request);
    void StartConnect();
    // Ends a connection (or a connection attempt) at once: Busy properties end Alert with
    // `busyMessage`, CONNECTION shows `state` and `message`, the properties are deleted. The
    // device itself is disconnected by a job queued behind whatever still runs.
    void EndConnection(IPState state, const std::string& message, const std::string& busyMessage);

    // Sets `property` BUSY and runs `work` on the worker; its completion applies the snapshot
    // and ends the property OK or ALERT with the job's message. A refusal (another command
    // running) is a Reject.
    void RunCommand(const char* property, const std::string& activity, DeviceWorker::Work work);
    // Ends `property` in `state` with a message (standard and own properties alike); a property
    // that is not defined gets nothing, the message goes to the device's log instead.
    void Finish(const char* property, IPState state, const std::string& message);
    // A request that cannot be carried out: the property is re-sent with the device's values
    // and the reason, ALERT - or still BUSY when its own operation runs on.
    void Reject(const char* property, const std::string& reason);
    bool StartMove(int32_t controllerTarget, std::string& refusal);
    void EndMove(bool ok, const std::string& message);
    void SendMoveProgress();
    static void OnMoveProgress(void* self);
    void StopMoveProgress();
    bool StartFilterChange(int32_t index, std::string& refusal);

    // Brings every property up to the device's state after a job of the present connection;
    // `message` (the job's) is shown when the job found the connection gone.
    void Apply(const DeviceSnapshot& snapshot, const std::string& message = {});
    // Copies the device's values into the standard vectors; `send`: and sends what changed.
    void ApplyFocuser(const DeviceSnapshot& snapshot, bool send);
    void ApplyWheel(const DeviceSnapshot& snapshot, bool send);
    // Defines, updates and deletes the driver's own properties as the device's state asks.
    void SyncOwn(bool connected);
    // Every property's state as a fresh connection starts it.
    void ResetStates();
    void BuildFilterNames(const DeviceSnapshot& snapshot);
    void FreeFilterNames();
    FocusRange Range() const;
    // A completion belongs to the connection it was submitted in; later ones ignore it.
    bool Current(uint64_t session) const { return session == session_ && link_ != Link::Down; }

    static void OnWake(int fd, void* self);

    // The pipe through which the worker wakes the event loop: read end watched, write end
    // written by the worker's notification.
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::unique_ptr<SettingsStore> store_;
    std::unique_ptr<DeviceWorker> worker_;
    DeviceSnapshot snapshot_;
    std::map<std::string, std::unique_ptr<OwnProperty>> own_;
    Link link_ = Link::Down;
    uint64_t session_ = 0;
    bool focuserShown_ = false;
    bool wheelShown_ = false;
    Move move_;
    int timerId_ = -1;
};

}  // namespace kavri::indi
