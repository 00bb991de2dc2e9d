// The device object's life (settings, timer, the process-wide active device), and the clients
// that share one connection.
#include <gtest/gtest.h>

#include "device/DeviceOnPeer.h"
#include "persist/RegistrySettings.h"

namespace kavri::test {
namespace {

// Records timer requests and lets a test look at the world at the moment of each call.
struct ObservedTimers : TimerService {
    int StartTimer(int id, int intervalMs, Callback callback) override {
        started = {id, intervalMs, activeDevice ? activeDevice->settings.ComPort : -1};
        this->callback = std::move(callback);
        return 42;
    }
    void StopTimer(int id) override { stopped = {id, store->ValueNames(DriverKey).size()}; }
    MemorySettingsStore* store = nullptr;
    std::tuple<int, int, int> started;     // id, interval, ComPort of the active device then
    std::pair<int, size_t> stopped{0, 0};  // id, settings saved by then
    Callback callback;
};

TEST(DeviceLife, SettingsLoadBeforeTheTimerStartsAndSaveBeforeItStops) {
    MemorySettingsStore store;
    store.SetValue(DriverKey, "ComPort", SettingsValue::Dword(3));
    ObservedTimers timers;
    timers.store = &store;
    {
        WheelFocuserDevice device(store, timers);
        EXPECT_EQ(timers.started, std::make_tuple(15, 5000, 3));
        EXPECT_EQ(device.timerId, 42);
        EXPECT_EQ(activeDevice, &device);
        EXPECT_EQ(device.microstepCount, -1);  // no table read: nothing to send back
        EXPECT_EQ(device.currentFilter, -1);
        timers.callback();  // does nothing without a connection
        EXPECT_FALSE(device.busy);
        device.settings.ComPort = 6;
    }
    EXPECT_EQ(activeDevice, nullptr);
    EXPECT_EQ(timers.stopped.first, 42);
    EXPECT_GT(timers.stopped.second, 1u);
    SettingsValue value;
    ASSERT_TRUE(store.QueryValue(DriverKey, "ComPort", value));
    EXPECT_EQ(value.data, (std::vector<uint8_t>{6, 0, 0, 0}));
}

using ClientSet = DeviceOnPeer;

const void* Client(uintptr_t id) {
    return reinterpret_cast<const void*>(id);
}

TEST_F(ClientSet, TheFirstClientConnectsAndTheLastOneLeavingDisconnects) {
    ASSERT_TRUE(device->OpenFile(dir_.File("diag.log")));
    EXPECT_TRUE(device->ConnectMulti(Client(0x7ffdABCD0010ull)));  // connected: nothing to do
    EXPECT_TRUE(device->ConnectMulti(Client(0x1a2b)));
    EXPECT_TRUE(device->ConnectMulti(Client(0x1a2b)));  // already a member
    device->DisconnectMulti(Client(0x99));              // not a member
    device->DisconnectMulti(Client(0x7ffdABCD0010ull));
    EXPECT_NE(device->port, nullptr);
    device->DisconnectMulti(Client(0x1a2b));
    EXPECT_EQ(device->port, nullptr);
    device->DisconnectMulti(Client(0x1a2b));  // port closed: nothing at all
    EXPECT_EQ(sinkLines,
              (std::vector<std::string>{
                  "ConnectMulti(0x7ffdabcd0010) = connect\r\n", "ConnectMulti(0x1a2b) = skip\r\n",
                  "ConnectMulti(0x1a2b) = skip\r\n", "DisconnectMulti(0x99) = skip\r\n",
                  "DisconnectMulti(0x7ffdabcd0010) = skip\r\n",
                  "DisconnectMulti(0x1a2b) = Disconnect\r\n"}));
    EXPECT_TRUE(device->Clients().empty());
    // The file records the disconnection.
    EXPECT_NE(ReadFileText(dir_.File("diag.log")).find("DisconnectMulti(0x1a2b) = Disconnect"),
              std::string::npos);

    // A port opened without any client: a non-member leaving closes it.
    ASSERT_NE(device->port = OpenSerialPort(peer.SlavePath(), 9600), nullptr);
    device->DisconnectMulti(Client(0x99));
    EXPECT_EQ(device->port, nullptr);
    // A failed connection logs the attempt and the reason, and joins nobody.
    sinkLines.clear();
    device->settings.ComPort = 3;
    EXPECT_FALSE(device->ConnectMulti(Client(0xc3)));
    EXPECT_EQ(sinkLines,
              (std::vector<std::string>{"ConnectMulti(0xc3) = connect\r\n",
                                        "no controller found on COM3 (" + dir_.File("absent") +
                                            "): no such device\r\n"}));
    EXPECT_TRUE(device->Clients().empty());
}

}  // namespace
}  // namespace kavri::test
