// The configuration image's byte order and the value mappings of the two settings dialogs.
#include <gtest/gtest.h>

#include <climits>

#include "device/ConfigMappings.h"
#include "device/ControllerConfig.h"

namespace kavri {
namespace {

TEST(ConfigMappings, TheImageIsLittleEndianAndADialogRoundTripKeepsEveryByte) {
    ControllerConfig config{};
    for (int i = 0; i < kConfigSize; ++i) config.data()[i] = static_cast<uint8_t>(0xA0 ^ i);
    config.wheelStepMode = config.wheelMotorOffWhenIdle = config.filterSensorSeesHome = 1;
    config.powerOutputMode = 3;
    config.focuserStepMicrosteps = 4;
    const ControllerConfig before = config;
    WheelSettingsToConfig(WheelSettingsFromConfig(config), config);
    FocuserSettingsToConfig(FocuserSettingsFromConfig(config, 16), 16, config);
    for (int i = 0; i < kConfigSize; ++i) EXPECT_EQ(config.data()[i], before.data()[i]) << i;
    config.thermoCompStepsPerDegree = -250;
    EXPECT_EQ(config.data()[16] | config.data()[17] << 8, 0xFF06);
    EXPECT_EQ(FocuserSettingsFromConfig(config, 16).compensationStepsPerDegree, -250);
}

TEST(ConfigMappings, DialogValues) {
    ControllerConfig config{};  // step mode 0 opens checked and an unchanged OK stores 1
    WheelSettingsValues wheel = WheelSettingsFromConfig(config);
    wheel.speed = 70000;          // typed out of range: the low 16 bits
    wheel.powerOutputIndex = -1;  // no selection
    WheelSettingsToConfig(wheel, config);
    EXPECT_EQ(config.wheelStepMode, 1);
    EXPECT_EQ(static_cast<uint16_t>(config.wheelSpeed), 70000 - 65536);
    EXPECT_EQ(config.powerOutputMode, 255);
    EXPECT_FALSE(HalfStepChecked(2));
    EXPECT_EQ(PowerOutputIndex(4), -1);
    EXPECT_STREQ(kPowerOutputModeTexts[3], "Активен=0,  Пассивен=1");
    // Idle power: shown is stored minus one, modulo 256; typed values keep their low 8 bits.
    EXPECT_EQ(IdlePowerShown(0), 255);
    EXPECT_EQ(IdlePowerStored(255), 0);
    EXPECT_EQ(IdlePowerStored(511), 0);
    // Step choices 1/1 .. 1/largest; the stored step is largest / divisor.
    EXPECT_EQ(MicrostepDivisors(12), (std::vector<int>{1, 2, 4, 8}));
    EXPECT_TRUE(MicrostepDivisors(0).empty());
    EXPECT_EQ(MicrostepDivisors(INT_MAX).size(), 31u);  // no overflow on absurd replies
    EXPECT_EQ(MicrostepLabel(16), "1/16");
    EXPECT_EQ(MicrostepChoice(16, 3), -1);
    EXPECT_EQ(MicrostepStored(16, 0), 16);
    EXPECT_EQ(MicrostepStored(16, 5), 0);
    EXPECT_EQ(MicrostepStored(16, -1), 0);
}

}  // namespace
}  // namespace kavri
