// The device against the in-process controller emulator: both sides of the protocol agree,
// with the emulator's own state as the witness.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "device/DeviceOnPeer.h"
#include "sim/Emulator.h"

namespace kavri::test {
namespace {

using EndToEnd = DeviceTestBase;

TEST_F(EndToEnd, EveryKindOfCommandAgreesWithTheController) {
    sim::EmulatorOptions options;
    options.fast = true;
    options.focusFrame = true;  // interleaves a focuser frame into the wheel's answers
    options.log = [](const std::string&) {};
    sim::Emulator emulator(options);
    std::string error;
    ASSERT_TRUE(emulator.Start(&error)) << error;
    Link(5, emulator.SlavePath());
    ASSERT_TRUE(device->Connect());
    const auto image = [&] {
        const sim::Image bytes = emulator.GetImage();
        return Bytes(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(ImageBytes(device->config),
              image());
    ASSERT_GE(device->filters.size(), 3u);
    EXPECT_EQ(device->filters[1].name, sim::FilterName(emulator.GetImage(), 1));
    for (int target : {2, 0, 1}) {
        EXPECT_TRUE(device->SelectFilter(target));
        EXPECT_EQ(emulator.CurrentFilter(), target);
    }
    EXPECT_TRUE(device->MoveTo(1234));
    EXPECT_TRUE(device->SetPosition(-500));
    EXPECT_EQ(emulator.FocuserPosition(), -500);
    emulator.SetTemperature(0, 2345);
    float degrees = 0;
    EXPECT_TRUE(device->FWtemperature(0, degrees));
    EXPECT_EQ(degrees, 23.449999f);
    EXPECT_TRUE(device->FWautoCompSet(1));
    int32_t selector = -2;
    EXPECT_TRUE(device->FWisAuto(selector));
    EXPECT_EQ(selector, 1);

    device->config.focuserBacklash = 0x1234;
    EXPECT_TRUE(device->FWWRITENAME(1, "Sulphur-II"));
    EXPECT_TRUE(device->WriteFilterTable());
    EXPECT_EQ(sim::FilterName(emulator.GetImage(), 1), "Sulphur-");
    EXPECT_EQ(ImageBytes(device->config),
              image());
    std::reverse(device->microstepTable, device->microstepTable + device->microstepCount);
    const std::vector<uint8_t> sent(device->microstepTable,
                                    device->microstepTable + device->microstepCount);
    EXPECT_TRUE(device->FWym());
    EXPECT_EQ(emulator.MicrostepTable(), sent);
    EXPECT_TRUE(device->Home(0));
    EXPECT_EQ(emulator.CurrentFilter(), 0);
    device->Disconnect();
    emulator.Stop();
}

}  // namespace
}  // namespace kavri::test
