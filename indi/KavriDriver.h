// indi_kavri: the controller as one INDI device, "Kavri Wheel Focuser", with the focuser and
// the filter-wheel interfaces. This class is the INDI plumbing only: the standard properties
// come from libindi's Focuser and FilterInterface, the driver's own from one table, and every
// client request goes through one dispatch that turns it into a job for the worker thread.
// The event loop never waits on the device: a job's completion comes back through the
// worker's pipe and is applied here.
#pragma once

#include <libindi/indifilterinterface.h>
#include <libindi/indifocuser.h>

#include <map>
#include <memory>
#include <string>

#include "indi/DeviceWorker.h"
#include "indi/OwnProperty.h"
#include "indi/PropertyValues.h"

namespace kavri {
class SettingsStore;
}

namespace kavri::indi {

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

    IPState MoveAbsFocuser(uint32_t targetTicks) override;
    IPState MoveRelFocuser(FocusDirection dir, uint32_t ticks) override;

    int QueryFilter() override;
    bool SelectFilter(int slot) override;
    bool GetFilterNames() override;

private:
    enum class Action {
        Connection,
        Port,
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

    // One dispatch for every request the driver handles itself; false: not ours.
    bool Dispatch(const Request& request);
    void OnConnection(const Request& request);
    void OnPort(const Request& request);

    // Sets `property` BUSY and runs `work` on the worker; its completion applies the snapshot
    // and ends the property OK or ALERT with the job's message. A refusal (another command
    // running) ends it ALERT at once.
    void RunCommand(const char* property, const std::string& activity, DeviceWorker::Work work);
    // Ends `property` in `state` with a message (standard and own properties alike).
    void Finish(const char* property, IPState state, const std::string& message);
    // A request that cannot be carried out: the property is re-sent unchanged, ALERT.
    void Reject(const char* property, const std::string& reason);
    IPState StartMove(int32_t controllerTarget);

    // Brings every property up to the device's state after a job; `message` (the job's) is
    // shown when the job ended the connection.
    void Apply(const DeviceSnapshot& snapshot, const std::string& message = {});
    void ApplyFocuser(const DeviceSnapshot& snapshot);
    void ApplyWheel(const DeviceSnapshot& snapshot);
    void BuildFilterNames(const DeviceSnapshot& snapshot);
    void FreeFilterNames();
    void DefineOwn(bool connected);
    FocusRange Range() const;

    static void OnWake(int fd, void* self);

    std::unique_ptr<SettingsStore> store_;
    std::unique_ptr<DeviceWorker> worker_;
    DeviceSnapshot snapshot_;
    std::map<std::string, std::unique_ptr<OwnProperty>> own_;
    int timerId_ = -1;
};

}  // namespace kavri::indi
