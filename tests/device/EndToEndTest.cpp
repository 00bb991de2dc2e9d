// The device against the in-process controller emulator: every command end to end, with the
// emulator's own state as the witness.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "device/ConfigMappings.h"
#include "device/ManualTimerService.h"
#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "sim/Emulator.h"

namespace kavri {
namespace {

class EndToEnd : public ::testing::Test {
protected:
    void Begin(sim::EmulatorOptions options = {}) {
        options.fast = true;
        options.log = [](const std::string&) {};
        emulator = std::make_unique<sim::Emulator>(std::move(options));
        std::string error;
        ASSERT_TRUE(emulator->Start(&error)) << error;
        device = std::make_unique<WheelFocuserDevice>(store, timers);
        device->SetSink([this](const char* line) { logText += line; });
        device->port = OpenSerialPort(emulator->SlavePath(), 9600);
        ASSERT_NE(device->port, nullptr);
        // What a connection does after opening: presence, image, filter table, microsteps.
        int32_t filter = 0, position = 0;
        ASSERT_TRUE(device->GetFilter(filter));
        ASSERT_TRUE(device->GetPosition(position));
        ASSERT_TRUE(device->FWreadEE(0, kConfigSize, device->config.data()));
        ASSERT_TRUE(device->FWCOUNT());
        ASSERT_TRUE(device->FWzm());
    }

    void TearDown() override {
        device.reset();  // closes the port first
        if (emulator) emulator->Stop();
    }

    MemorySettingsStore store;
    ManualTimerService timers;
    std::string logText;
    std::unique_ptr<sim::Emulator> emulator;
    std::unique_ptr<WheelFocuserDevice> device;
};

TEST_F(EndToEnd, ImageAndTableMatchTheController) {
    Begin();
    const sim::Image image = emulator->GetImage();
    EXPECT_EQ(0, std::memcmp(device->config.data(), image.data(), kConfigSize));
    ASSERT_EQ(device->filters.size(), static_cast<size_t>(image[1]));
    for (size_t i = 0; i < device->filters.size(); ++i) {
        EXPECT_EQ(device->filters[i].name, sim::FilterName(image, static_cast<int>(i)));
        EXPECT_EQ(device->filters[i].wheelPosition,
                  sim::ReadI16(image, sim::offset::kFilterWheelPositions + 2 * i));
    }
    EXPECT_EQ(device->microstepCount, static_cast<int32_t>(emulator->MicrostepTable().size()));
}

TEST_F(EndToEnd, SelectEveryFilterBothWays) {
    Begin();
    const int rows = static_cast<int>(device->filters.size());
    ASSERT_GE(rows, 2);
    for (int target = rows - 1; target >= 0; --target) {
        SCOPED_TRACE(target);
        EXPECT_TRUE(device->SelectFilter(target));
        EXPECT_EQ(emulator->CurrentFilter(), target);
        int32_t reported = -2;
        EXPECT_TRUE(device->GetFilter(reported));
        EXPECT_EQ(reported, target);
    }
    for (int target = 1; target < rows; ++target) EXPECT_TRUE(device->SelectFilter(target));
    EXPECT_EQ(emulator->CurrentFilter(), rows - 1);
    EXPECT_NE(logText.find("OK Goto("), std::string::npos);
}

TEST_F(EndToEnd, FilterChangeWithAnInterleavedFocuserFrame) {
    sim::EmulatorOptions options;
    options.focusFrame = true;
    Begin(options);
    EXPECT_TRUE(device->SelectFilter(2));
    EXPECT_EQ(device->currentFilter, 2);
    EXPECT_NE(logText.find("Skip cmd(WmoveFocus"), std::string::npos) << logText;
}

TEST_F(EndToEnd, RefusedFilterChangeLeavesTheFilterUnknown) {
    Begin();
    emulator->AddFault({sim::FaultKind::kGotoFail, "FWGOTO"});
    EXPECT_FALSE(device->SelectFilter(1));
    EXPECT_EQ(device->currentFilter, -1);
    EXPECT_NE(logText.find("Failed Goto("), std::string::npos);
    // The next change works again.
    EXPECT_TRUE(device->SelectFilter(1));
    EXPECT_EQ(emulator->CurrentFilter(), 1);
}

TEST_F(EndToEnd, MoveAndSyncTheFocuser) {
    Begin();
    EXPECT_TRUE(device->MoveTo(1234));
    EXPECT_EQ(emulator->FocuserPosition(), 1234);
    int32_t position = 0;
    EXPECT_TRUE(device->GetPosition(position));
    EXPECT_EQ(position, 1234);

    device->MinMotorStep = 3;
    EXPECT_TRUE(device->MoveRelative(-10));
    EXPECT_EQ(emulator->FocuserPosition(), 1204);
    int32_t direction = 0;
    EXPECT_TRUE(device->FWdirFocus(direction));
    EXPECT_EQ(direction, -1);

    EXPECT_TRUE(device->SetPosition(-500));
    EXPECT_EQ(emulator->FocuserPosition(), -500);
    EXPECT_TRUE(device->GetPosition(position));
    EXPECT_EQ(position, -500);
    EXPECT_NE(logText.find("OK GoFocus(0->1234)"), std::string::npos);
}

TEST_F(EndToEnd, TemperaturesAndCompensation) {
    Begin();
    emulator->SetTemperature(0, 2345);
    emulator->SetTemperature(1, -1000);
    float value = 0;
    EXPECT_TRUE(device->FWtemperature(0, value));
    EXPECT_EQ(value, 23.449999f);
    EXPECT_TRUE(device->FWtemperature(1, value));
    EXPECT_FLOAT_EQ(device->temperatures[1], -10.0f);
    // A thermometer beyond the controller's count gives no reading.
    const int count = device->config.thermometerCount;
    EXPECT_FALSE(device->FWtemperature(count, value));

    EXPECT_TRUE(device->FWautoCompSet(1));
    int32_t selector = -2;
    EXPECT_TRUE(device->FWisAuto(selector));
    EXPECT_EQ(selector, 1);
    EXPECT_EQ(device->settings.AscomPreferredTermometer, 1);
    EXPECT_TRUE(device->FWautoCompSet(-1));
    EXPECT_TRUE(device->FWisAuto(selector));
    EXPECT_EQ(selector, -1);
    EXPECT_EQ(device->settings.AscomPreferredTermometer, 1);
}

TEST_F(EndToEnd, WriteTheImageAndReadItBack) {
    Begin();
    WheelSettingsValues wheel = WheelSettingsFromConfig(device->config);
    wheel.speed = 420;
    wheel.halfStep = !wheel.halfStep;
    WheelSettingsToConfig(wheel, device->config);
    int32_t step = 0, largest = 0;
    ASSERT_TRUE(device->FWubStep(step, largest));
    FocuserSettingsValues focuser = FocuserSettingsFromConfig(device->config, largest);
    focuser.idlePower = 255;
    focuser.compensationStepsPerDegree = -250;
    focuser.stepChoice = 0;
    FocuserSettingsToConfig(focuser, largest, device->config);
    device->config.reserved14 = 0x13;  // untouched bytes travel as they are
    std::strcpy(device->filters[0].name, "Luminance");
    device->filters[1].wheelPosition = 40000;
    ASSERT_TRUE(device->WriteFilterTable());

    const sim::Image image = emulator->GetImage();
    EXPECT_EQ(0, std::memcmp(device->config.data(), image.data(), kConfigSize));
    ControllerConfig readBack{};
    ASSERT_TRUE(device->FWreadEE(0, kConfigSize, readBack.data()));
    EXPECT_EQ(0, std::memcmp(device->config.data(), readBack.data(), kConfigSize));
    EXPECT_EQ(static_cast<uint16_t>(readBack.wheelSpeed), 420);
    EXPECT_EQ(readBack.focuserIdlePower, 0);
    EXPECT_EQ(static_cast<int16_t>(readBack.thermoCompStepsPerDegree), -250);
    EXPECT_EQ(readBack.focuserStepMicrosteps, largest);

    ASSERT_TRUE(device->FWCOUNT());
    EXPECT_STREQ(device->filters[0].name, "Luminanc");
    EXPECT_EQ(device->filters[1].wheelPosition, -25536);
}

TEST_F(EndToEnd, RenameAFilterAndReplaceTheMicrostepTable) {
    Begin();
    EXPECT_TRUE(device->FWWRITENAME(1, "Sulphur-II"));
    EXPECT_STREQ(device->filters[1].name, "Sulphur-");
    EXPECT_EQ(sim::FilterName(emulator->GetImage(), 1), "Sulphur-");

    ASSERT_GT(device->microstepCount, 0);
    std::reverse(device->microstepTable, device->microstepTable + device->microstepCount);
    const std::vector<uint8_t> sent(device->microstepTable,
                                    device->microstepTable + device->microstepCount);
    EXPECT_TRUE(device->FWym());
    EXPECT_EQ(emulator->MicrostepTable(), sent);
    EXPECT_TRUE(device->FWzm());
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), device->microstepTable));
}

TEST_F(EndToEnd, HomeTheWheel) {
    Begin();
    EXPECT_TRUE(device->SelectFilter(3));
    EXPECT_TRUE(device->Home(0));
    EXPECT_EQ(emulator->CurrentFilter(), 0);
}

}  // namespace
}  // namespace kavri
