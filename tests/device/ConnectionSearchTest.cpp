#include <gtest/gtest.h>

#include <chrono>

#include "ConnectionTestSupport.h"
#include "sim/Emulator.h"

namespace kavri::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using ConnectionSearchTest = DeviceFixture;

TEST_F(ConnectionSearchTest, AutoFindsTheEmulatorBehindASilentPortAndAbsentOnes) {
    sim::EmulatorOptions options;
    options.fast = true;
    options.log = [](const std::string&) {};
    sim::Emulator emulator(options);
    std::string error;
    ASSERT_TRUE(emulator.Start(&error)) << error;
    emulator.SetCurrentFilter(2);
    emulator.SetFocuserPosition(4321);

    ScriptedPeer silent;  // answers nothing
    silent.Expect("FWFILTER").Expect("FWfocus");
    Link(2, silent.SlavePath());
    Link(5, emulator.SlavePath());
    device_->settings.ComPort = 0;

    const auto start = Clock::now();
    ASSERT_TRUE(device_->Connect());
    const auto elapsed = Clock::now() - start;
    EXPECT_TRUE(silent.WaitIdle(5000));

    // The silent port costs the read time-outs of "FWFILTER" and "FWfocus" (200 + 300 ms);
    // the absent numbers cost nothing, and the fast emulator answers at once.
    EXPECT_GE(elapsed, 450ms);
    EXPECT_LT(elapsed, 3s) << std::chrono::duration<double>(elapsed).count() << " s";
    RecordProperty(
        "search_ms",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));

    EXPECT_EQ(emulator.ReceivedKeywords(),
              (std::vector<std::string>{"FWFILTER", "FWfocus", "FWreadEE", "FWCOUNT", "FWzm"}));
    EXPECT_TRUE(device_->wheelPresent);
    EXPECT_TRUE(device_->focuserPresent);
    EXPECT_EQ(device_->currentFilter, 2);
    EXPECT_EQ(device_->focuserPosition, 4321);
    const auto image = emulator.GetImage();
    EXPECT_EQ(std::memcmp(device_->config.data(), image.data(), kConfigSize), 0);
    EXPECT_EQ(static_cast<int>(device_->filters.size()), image[1]);
    EXPECT_EQ(device_->microstepCount, static_cast<int>(emulator.MicrostepTable().size()));

    device_->Disconnect();
    emulator.Stop();
}

}  // namespace
}  // namespace kavri::test
