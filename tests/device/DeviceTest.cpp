#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/ExchangeGuard.h"
#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "persist/RegistrySettings.h"
#include "support/ScriptedPeer.h"
#include "support/TempDir.h"

namespace kavri {
namespace {

// Records timer requests and lets a test look at the world at the moment of each call.
class ObservedTimers : public TimerService {
public:
    int StartTimer(int requestedId, int intervalMs, Callback callback) override {
        requested.push_back({requestedId, intervalMs});
        if (onStart) onStart();
        this->callback = std::move(callback);
        return 42;
    }
    void StopTimer(int timerId) override {
        stopped.push_back(timerId);
        if (onStop) onStop();
    }

    struct Request {
        int id, intervalMs;
    };
    std::vector<Request> requested;
    std::vector<int> stopped;
    std::function<void()> onStart, onStop;
    Callback callback;
};

TEST(DeviceTest, NewDeviceHasDefaultsWhenStoreIsEmpty) {
    MemorySettingsStore store;
    ObservedTimers timers;
    WheelFocuserDevice device(store, timers);
    EXPECT_EQ(device.currentFilter, -1);
    EXPECT_EQ(device.focuserPosition, 0);
    EXPECT_EQ(device.microstepCount, -1);
    EXPECT_DOUBLE_EQ(device.settings.StepLenInMicrons, 10.0);
    EXPECT_EQ(device.settings.AscomMaxFocusPos, 30000);
    EXPECT_EQ(device.settings.ComPort, 0);
    EXPECT_EQ(device.ChangeFilterTimeoutMs, 1000);
    EXPECT_EQ(device.StepTime, 10);
    EXPECT_EQ(device.RollbackInterval, 5);
    EXPECT_EQ(device.MinMotorStep, 1);
    EXPECT_EQ(device.BitsInitial.clear, 0xFF);
    EXPECT_EQ(device.EnableFilterSet, 1);
    EXPECT_EQ(device.port, nullptr);
    EXPECT_FALSE(device.busy);
    EXPECT_FALSE(device.wheelPresent);
    EXPECT_FALSE(device.focuserPresent);
    EXPECT_FALSE(device.HasFile());
    EXPECT_TRUE(device.Clients().empty());
    for (uint8_t byte : std::vector<uint8_t>(device.config.data(), device.config.data() + 144)) {
        ASSERT_EQ(byte, 0);
    }
    for (float t : device.temperatures) EXPECT_EQ(t, 0.0f);
    EXPECT_EQ(&device.log, static_cast<DiagnosticLog*>(&device));
}

TEST(DeviceTest, ConstructionLoadsSettingsThenStartsTimerAsActiveDevice) {
    MemorySettingsStore store;
    store.SetValue(DriverKey, "ComPort", SettingsValue::Dword(3));
    ObservedTimers timers;
    int comPortAtStart = -1;
    timers.onStart = [&] {
        ASSERT_NE(activeDevice, nullptr);
        comPortAtStart = activeDevice->settings.ComPort;
    };
    {
        WheelFocuserDevice device(store, timers);
        ASSERT_EQ(timers.requested.size(), 1u);
        EXPECT_EQ(timers.requested[0].id, 15);
        EXPECT_EQ(timers.requested[0].intervalMs, 5000);
        EXPECT_EQ(comPortAtStart, 3);
        EXPECT_EQ(device.timerId, 42);
        EXPECT_EQ(activeDevice, &device);
        // The callback does nothing without a connection.
        ASSERT_TRUE(timers.callback);
        timers.callback();
        EXPECT_FALSE(device.busy);
    }
    EXPECT_EQ(activeDevice, nullptr);
}

TEST(DeviceTest, DestructionSavesSettingsBeforeStoppingTimer) {
    MemorySettingsStore store;
    ObservedTimers timers;
    bool savedBeforeStop = false;
    timers.onStop = [&] { savedBeforeStop = !store.ValueNames(DriverKey).empty(); };
    {
        WheelFocuserDevice device(store, timers);
        device.settings.ComPort = 6;
    }
    EXPECT_EQ(timers.stopped, (std::vector<int>{42}));
    EXPECT_TRUE(savedBeforeStop);
    SettingsValue value;
    ASSERT_TRUE(store.QueryValue(DriverKey, "ComPort", value));
    EXPECT_EQ(value.data, (std::vector<uint8_t>{6, 0, 0, 0}));
}

TEST(DeviceTest, DisconnectClosesPortAndLogFileAndClearsPresence) {
    test::ScriptedPeer peer;
    test::TempDir dir;
    MemorySettingsStore store;
    ObservedTimers timers;
    WheelFocuserDevice device(store, timers);
    device.log.SetSink([](const char*) {});
    device.port = OpenSerialPort(peer.SlavePath(), 9600);
    ASSERT_NE(device.port, nullptr);
    device.wheelPresent = true;
    device.focuserPresent = true;
    device.currentFilter = 2;
    device.focuserPosition = 1234;
    ASSERT_TRUE(device.OpenFile(dir.File("diag.log")));

    device.Disconnect();
    EXPECT_EQ(device.port, nullptr);
    EXPECT_FALSE(device.wheelPresent);
    EXPECT_FALSE(device.focuserPresent);
    EXPECT_FALSE(device.HasFile());
    // What the controller last told us stays for display.
    EXPECT_EQ(device.currentFilter, 2);
    EXPECT_EQ(device.focuserPosition, 1234);
    device.Disconnect();  // a second call has nothing to do
    EXPECT_EQ(device.port, nullptr);
}

TEST(DeviceTest, ExchangeGuardRefusesClosedPortOrBusyAndAlwaysReleases) {
    test::ScriptedPeer peer;
    MemorySettingsStore store;
    ObservedTimers timers;
    WheelFocuserDevice device(store, timers);
    {
        ExchangeGuard guard(device);
        EXPECT_FALSE(guard.Acquired());
        EXPECT_FALSE(device.busy);
    }
    device.port = OpenSerialPort(peer.SlavePath(), 9600);
    ASSERT_NE(device.port, nullptr);
    {
        ExchangeGuard outer(device);
        ASSERT_TRUE(outer.Acquired());
        EXPECT_TRUE(device.busy);
        ExchangeGuard nested(device);
        EXPECT_FALSE(nested.Acquired());
    }
    EXPECT_FALSE(device.busy);  // the refused nested guard did not clear the outer's flag early
    try {
        ExchangeGuard guard(device);
        ASSERT_TRUE(device.busy);
        throw std::runtime_error("allocation failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(device.busy);
    device.Disconnect();
}

}  // namespace
}  // namespace kavri
