// Every command refuses at once, sending nothing, while another exchange holds the port or
// while no port is open.
#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "device/DeviceOnPeer.h"

namespace kavri::test {
namespace {

// Every command operation of the device, each called with plausible arguments.
std::vector<std::pair<const char*, std::function<bool(WheelFocuserDevice&)>>> AllCommands() {
    return {
        {"GetFilter",
         [](WheelFocuserDevice& d) {
             int32_t i = 0;
             return d.GetFilter(i);
         }},
        {"FWCOUNT", [](WheelFocuserDevice& d) { return d.FWCOUNT(); }},
        {"SelectFilter", [](WheelFocuserDevice& d) { return d.SelectFilter(1); }},
        {"Home", [](WheelFocuserDevice& d) { return d.Home(0); }},
        {"FWWRITENAME", [](WheelFocuserDevice& d) { return d.FWWRITENAME(0, "L"); }},
        {"WriteFilterTable", [](WheelFocuserDevice& d) { return d.WriteFilterTable(); }},
        {"GetPosition",
         [](WheelFocuserDevice& d) {
             int32_t p = 0;
             return d.GetPosition(p);
         }},
        {"MoveTo", [](WheelFocuserDevice& d) { return d.MoveTo(100); }},
        {"MoveRelative", [](WheelFocuserDevice& d) { return d.MoveRelative(1); }},
        {"SetPosition", [](WheelFocuserDevice& d) { return d.SetPosition(5); }},
        {"FWdirFocus",
         [](WheelFocuserDevice& d) {
             int32_t v = 0;
             return d.FWdirFocus(v);
         }},
        {"FWtemperature",
         [](WheelFocuserDevice& d) {
             float t = 0;
             return d.FWtemperature(0, t);
         }},
        {"FWisAuto",
         [](WheelFocuserDevice& d) {
             int32_t v = 0;
             return d.FWisAuto(v);
         }},
        {"FWautoCompSet", [](WheelFocuserDevice& d) { return d.FWautoCompSet(1); }},
        {"FWubStep",
         [](WheelFocuserDevice& d) {
             int32_t s = 0, m = 0;
             return d.FWubStep(s, m);
         }},
        {"FWzm", [](WheelFocuserDevice& d) { return d.FWzm(); }},
        {"FWym", [](WheelFocuserDevice& d) { return d.FWym(); }},
    };
}

class RefusedCommands : public DeviceOnPeer {
protected:
    void SetUp() override {
        DeviceOnPeer::SetUp();
        GiveFilters(3);
        device->currentFilter = 0;
        device->microstepCount = 2;  // so FWym would otherwise send
        device->focuserPosition = 42;
        device->temperatures[0] = 7.0f;
    }

    // Runs every command, expecting false and no change to the state they touch.
    void ExpectAllRefused() {
        for (const auto& [name, command] : AllCommands()) {
            SCOPED_TRACE(name);
            EXPECT_FALSE(command(*device));
            EXPECT_EQ(device->currentFilter, 0);
            EXPECT_EQ(device->focuserPosition, 42);
            EXPECT_EQ(device->filters.size(), 3u);
            EXPECT_EQ(device->microstepCount, 2);
            EXPECT_EQ(device->temperatures[0], 7.0f);
        }
    }
};

TEST_F(RefusedCommands, WhileBusyNotOneByteReachesTheLine) {
    peer.ExpectQuiet(300);
    device->busy = true;
    ExpectAllRefused();
    EXPECT_TRUE(device->busy);  // the holder's flag is left alone
    EXPECT_TRUE(peer.WaitIdle(3000));
    EXPECT_TRUE(peer.Received().empty());
    EXPECT_TRUE(sinkLines.empty());
}

TEST_F(RefusedCommands, WithoutAPortNothingIsSent) {
    PortHandle open = device->port;
    device->port = nullptr;
    peer.ExpectQuiet(300);
    ExpectAllRefused();
    EXPECT_FALSE(device->busy);
    EXPECT_TRUE(peer.WaitIdle(3000));
    EXPECT_TRUE(peer.Received().empty());
    device->port = open;
}

TEST_F(RefusedCommands, BusyIsClearedAfterEveryCommand) {
    // Quick failures: the controller stays silent and hangs up, so every wait ends at once.
    peer.HangUp();
    ASSERT_TRUE(peer.WaitIdle(2000));
    for (const auto& [name, command] : AllCommands()) {
        SCOPED_TRACE(name);
        command(*device);
        EXPECT_FALSE(device->busy);
    }
}

}  // namespace
}  // namespace kavri::test
