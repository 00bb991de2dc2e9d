#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "device/ConfigMappings.h"
#include "device/ControllerConfig.h"

namespace kavri {
namespace {

// The image is read and written byte by byte in little-endian order, whatever the host.
TEST(ControllerConfigImage, MultiByteFieldsAreLittleEndianAtTheirOffsets) {
    ControllerConfig config{};
    config.wheelSpeed = 0x1234;
    config.focuserSpeed = 1000;
    config.thermoCompStepsPerDegree = -250;
    config.filterWheelPositions[9] = 0x0102;
    config.maxStepsBetweenFilters = 0xBEEF;
    const uint8_t* b = config.data();
    EXPECT_EQ(b[2], 0x34);
    EXPECT_EQ(b[3], 0x12);
    EXPECT_EQ(b[8], 0xE8);
    EXPECT_EQ(b[9], 0x03);
    EXPECT_EQ(b[16], 0x06);  // −250 = 0xFF06
    EXPECT_EQ(b[17], 0xFF);
    EXPECT_EQ(b[22 + 18], 0x02);
    EXPECT_EQ(b[22 + 19], 0x01);
    EXPECT_EQ(b[142], 0xEF);
    EXPECT_EQ(b[143], 0xBE);

    ControllerConfig decoded{};
    std::memcpy(decoded.data(), b, kConfigSize);
    EXPECT_EQ(static_cast<int16_t>(decoded.thermoCompStepsPerDegree), -250);
    EXPECT_EQ(static_cast<uint16_t>(decoded.maxStepsBetweenFilters), 0xBEEF);
}

TEST(ControllerConfigImage, WheelPositionOf40000ReadsBackAsMinus25536) {
    ControllerConfig config{};
    config.filterWheelPositions[0] = static_cast<int16_t>(40000 & 0xFFFF);
    EXPECT_EQ(config.data()[22], 0x40);
    EXPECT_EQ(config.data()[23], 0x9C);
    EXPECT_EQ(static_cast<int32_t>(static_cast<int16_t>(config.filterWheelPositions[0])), -25536);
}

TEST(ControllerConfigImage, FieldAssignmentsLeaveReservedAndOtherBytesUntouched) {
    ControllerConfig config{};
    for (int i = 0; i < kConfigSize; ++i) config.data()[i] = static_cast<uint8_t>(0xA0 ^ i);
    ControllerConfig before = config;

    WheelSettingsToConfig(WheelSettingsFromConfig(config), config);
    // A round trip of the wheel dialog normalises only its flag bytes (offsets 4 to 7).
    EXPECT_EQ(config.reserved0, before.reserved0);
    EXPECT_EQ(config.reserved14, before.reserved14);
    EXPECT_EQ(0, std::memcmp(config.data() + 8, before.data() + 8, kConfigSize - 8 - 2));
    EXPECT_EQ(0, std::memcmp(config.data() + 142, before.data() + 142, 2));

    FocuserSettingsToConfig(FocuserSettingsFromConfig(config, 16), 16, config);
    EXPECT_EQ(config.reserved0, before.reserved0);
    EXPECT_EQ(config.reserved14, before.reserved14);
    EXPECT_EQ(0, std::memcmp(config.data() + 22, before.data() + 22, kConfigSize - 22));
    EXPECT_EQ(0, std::memcmp(config.data(), before.data(), 1 + 1 + 2));
}

TEST(IdlePowerMapping, ShownIsStoredMinusOneModulo256) {
    EXPECT_EQ(IdlePowerShown(0), 255);
    EXPECT_EQ(IdlePowerShown(1), 0);
    EXPECT_EQ(IdlePowerShown(255), 254);
    EXPECT_EQ(IdlePowerStored(255), 0);
    EXPECT_EQ(IdlePowerStored(0), 1);
    EXPECT_EQ(IdlePowerStored(254), 255);
    EXPECT_EQ(IdlePowerStored(-1), 0);  // typed values keep their low 8 bits
    EXPECT_EQ(IdlePowerStored(511), 0);
    for (int stored = 0; stored < 256; ++stored) {
        EXPECT_EQ(IdlePowerStored(IdlePowerShown(static_cast<uint8_t>(stored))), stored);
    }
}

TEST(WheelDialogMapping, HalfStepBoxAndFlags) {
    EXPECT_TRUE(HalfStepChecked(0));
    EXPECT_TRUE(HalfStepChecked(1));
    EXPECT_FALSE(HalfStepChecked(2));
    EXPECT_FALSE(HalfStepChecked(200));
    EXPECT_EQ(WheelStepModeStored(true), 1);
    EXPECT_EQ(WheelStepModeStored(false), 2);

    // Step mode 0 opens checked and an unchanged OK stores 1.
    ControllerConfig config{};
    config.wheelStepMode = 0;
    config.filterCount = 5;
    config.wheelSpeed = 300;
    config.powerOutputMode = 2;
    config.maxStepsBetweenFilters = 1200;
    WheelSettingsValues values = WheelSettingsFromConfig(config);
    EXPECT_TRUE(values.halfStep);
    EXPECT_EQ(values.filterCount, 5u);
    EXPECT_EQ(values.speed, 300u);
    EXPECT_EQ(values.powerOutputIndex, 2);
    EXPECT_EQ(values.maxStepsBetweenFilters, 1200u);
    WheelSettingsToConfig(values, config);
    EXPECT_EQ(config.wheelStepMode, 1);

    values.filterCount = 7;
    values.speed = 70000;  // typed out of range: low 16 bits
    WheelSettingsToConfig(values, config);
    EXPECT_EQ(config.filterCount, 7);
    EXPECT_EQ(static_cast<uint16_t>(config.wheelSpeed), 70000 - 65536);
}

TEST(WheelDialogMapping, PowerOutputChoices) {
    EXPECT_STREQ(kPowerOutputModeTexts[0], "Всегда =0");
    EXPECT_STREQ(kPowerOutputModeTexts[1], "Всегда =1");
    EXPECT_STREQ(kPowerOutputModeTexts[2], "Активен=1, Пассивен=0");
    EXPECT_STREQ(kPowerOutputModeTexts[3], "Активен=0,  Пассивен=1");
    EXPECT_EQ(PowerOutputIndex(3), 3);
    EXPECT_EQ(PowerOutputIndex(4), -1);
    EXPECT_EQ(PowerOutputIndex(255), -1);
    EXPECT_EQ(PowerOutputModeStored(-1), 255);  // no selection
    EXPECT_EQ(PowerOutputModeStored(1), 1);
}

TEST(FocuserDialogMapping, StepChoicesFromLargestDivisor) {
    EXPECT_EQ(MicrostepDivisors(16), (std::vector<int>{1, 2, 4, 8, 16}));
    EXPECT_EQ(MicrostepDivisors(2), (std::vector<int>{1, 2}));
    EXPECT_EQ(MicrostepDivisors(12), (std::vector<int>{1, 2, 4, 8}));
    EXPECT_TRUE(MicrostepDivisors(0).empty());
    EXPECT_TRUE(MicrostepDivisors(-3).empty());
    EXPECT_EQ(MicrostepDivisors(INT_MAX).size(), 31u);  // no overflow on absurd replies
    EXPECT_EQ(MicrostepLabel(1), "1/1");
    EXPECT_EQ(MicrostepLabel(16), "1/16");

    // Largest 16, stored 4: "1/4" is selected; choosing "1/16" stores 1.
    EXPECT_EQ(MicrostepChoice(16, 4), 2);
    EXPECT_EQ(MicrostepStored(16, 4), 1);
    EXPECT_EQ(MicrostepStored(16, 0), 16);
    // Stored 3 matches nothing and an untouched choice stores 0.
    EXPECT_EQ(MicrostepChoice(16, 3), -1);
    EXPECT_EQ(MicrostepStored(16, -1), 0);
    EXPECT_EQ(MicrostepStored(16, 5), 0);
    EXPECT_EQ(MicrostepStored(0, 0), 0);
}

TEST(FocuserDialogMapping, WholeDialogRoundTrip) {
    ControllerConfig config{};
    config.focuserSpeed = 250;
    config.focuserIdlePower = 0;
    config.focuserBacklash = 20;
    config.thermometerCount = 6;
    config.thermoCompStepsPerDegree = -250;
    config.temperatureAveraging = 10;
    config.directionChangeThreshold = 3;
    config.focuserStepMicrosteps = 4;
    FocuserSettingsValues values = FocuserSettingsFromConfig(config, 16);
    EXPECT_EQ(values.speed, 250u);
    EXPECT_EQ(values.idlePower, 255);
    EXPECT_EQ(values.backlash, 20u);
    EXPECT_EQ(values.thermometerCount, 6u);
    EXPECT_EQ(values.compensationStepsPerDegree, -250);
    EXPECT_EQ(values.temperatureAveraging, 10u);
    EXPECT_EQ(values.directionChangeThreshold, 3u);
    EXPECT_EQ(values.stepChoice, 2);

    values.idlePower = 0;
    values.stepChoice = 4;
    values.compensationStepsPerDegree = -1000;
    FocuserSettingsToConfig(values, 16, config);
    EXPECT_EQ(config.focuserIdlePower, 1);
    EXPECT_EQ(config.focuserStepMicrosteps, 1);
    EXPECT_EQ(config.data()[16], 0x18);
    EXPECT_EQ(config.data()[17], 0xFC);
    EXPECT_EQ(config.thermometerCount, 6);
}

}  // namespace
}  // namespace kavri
