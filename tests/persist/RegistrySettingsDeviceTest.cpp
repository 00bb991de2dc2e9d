#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/ManualTimerService.h"
#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "persist/RegistrySettings.h"

namespace kavri {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> bytes) {
    return bytes;
}

class RegistrySettingsDeviceTest : public ::testing::Test {
protected:
    SettingsValue Stored(const std::string& name) {
        SettingsValue value;
        EXPECT_TRUE(store.QueryValue(DriverKey, name, value)) << name;
        return value;
    }

    MemorySettingsStore store;
    ManualTimerService timers;
};

TEST_F(RegistrySettingsDeviceTest, FirstRunCreatesKeyAndExitWritesAllTwelveValues) {
    {
        WheelFocuserDevice device(store, timers);
        EXPECT_TRUE(store.HasKey(DriverKey));
        EXPECT_TRUE(store.ValueNames(DriverKey).empty());
    }
    const std::vector<std::string> order = {
        "ComPort",         "ChangeFilterTimeoutMs", "StepLenInMicrons", "AscomPreferredTermometer",
        "AscomFocusShift", "AscomMaxFocusPos",      "MinMotorStep",     "LogFile",
        "TermometerName0", "TermometerName1",       "TermometerName2",  "TermometerName3"};
    EXPECT_EQ(store.ValueNames(DriverKey), order);
    EXPECT_GE(store.FlushCount(), 1);

    struct Expected {
        const char* name;
        SettingsValueType type;
        std::vector<uint8_t> data;
    };
    const Expected expected[] = {
        {"ComPort", SettingsValueType::Dword, Bytes({0, 0, 0, 0})},
        {"ChangeFilterTimeoutMs", SettingsValueType::Dword, Bytes({0xE8, 0x03, 0, 0})},
        {"StepLenInMicrons", SettingsValueType::Binary, Bytes({0, 0, 0, 0, 0, 0, 0x24, 0x40})},
        {"AscomPreferredTermometer", SettingsValueType::Dword, Bytes({0, 0, 0, 0})},
        {"AscomFocusShift", SettingsValueType::Dword, Bytes({0, 0, 0, 0})},
        {"AscomMaxFocusPos", SettingsValueType::Dword, Bytes({0x30, 0x75, 0, 0})},
        {"MinMotorStep", SettingsValueType::Dword, Bytes({1, 0, 0, 0})},
        {"LogFile", SettingsValueType::String, Bytes({0})},
        {"TermometerName3", SettingsValueType::String, Bytes({0})},
    };
    for (const Expected& e : expected) {
        const SettingsValue value = Stored(e.name);
        EXPECT_EQ(value.type, e.type) << e.name;
        EXPECT_EQ(value.data, e.data) << e.name;
    }
}

TEST_F(RegistrySettingsDeviceTest, ValuesRoundTripThroughSaveAndLoad) {
    const std::string logFile = "/var/log/" + std::string(291, 'a');
    ASSERT_EQ(logFile.size(), 300u);
    {
        WheelFocuserDevice device(store, timers);
        device.settings.ComPort = 7;
        device.settings.StepLenInMicrons = 4.25;
        device.settings.AscomPreferredTermometer = 2;
        device.settings.AscomFocusShift = -500;
        device.settings.AscomMaxFocusPos = 65000;
        device.ChangeFilterTimeoutMs = 1500;
        device.MinMotorStep = 25;
        device.LogFile = logFile;
        device.TermometerName[1] = "Труба";
    }
    EXPECT_EQ(Stored("AscomFocusShift").data, Bytes({0x0C, 0xFE, 0xFF, 0xFF}));

    WheelFocuserDevice device(store, timers);
    EXPECT_EQ(device.settings.ComPort, 7);
    EXPECT_DOUBLE_EQ(device.settings.StepLenInMicrons, 4.25);
    EXPECT_EQ(device.settings.AscomPreferredTermometer, 2);
    EXPECT_EQ(device.settings.AscomFocusShift, -500);
    EXPECT_EQ(device.settings.AscomMaxFocusPos, 65000);
    EXPECT_EQ(device.ChangeFilterTimeoutMs, 1500);
    EXPECT_EQ(device.MinMotorStep, 25);
    EXPECT_EQ(device.LogFile, logFile);
    EXPECT_EQ(device.TermometerName[1], "Труба");
    EXPECT_EQ(device.TermometerName[0], "");
}

TEST_F(RegistrySettingsDeviceTest, KeyWithOnlyComPortLeavesOtherDefaults) {
    store.SetValue(DriverKey, "ComPort", SettingsValue::Dword(3));
    WheelFocuserDevice device(store, timers);
    EXPECT_EQ(device.settings.ComPort, 3);
    EXPECT_DOUBLE_EQ(device.settings.StepLenInMicrons, 10.0);
    EXPECT_EQ(device.settings.AscomMaxFocusPos, 30000);
    EXPECT_EQ(device.ChangeFilterTimeoutMs, 1000);
    EXPECT_EQ(device.MinMotorStep, 1);
    EXPECT_EQ(device.LogFile, "");
}

TEST_F(RegistrySettingsDeviceTest, StringTooLongForBufferLeavesField) {
    store.SetValue(DriverKey, "LogFile", SettingsValue::String(std::string(2047, 'k')));
    store.SetValue(DriverKey, "TermometerName0", SettingsValue::String(std::string(2048, 'x')));
    WheelFocuserDevice device(store, timers);
    EXPECT_EQ(device.LogFile, std::string(2047, 'k'));  // the longest that fits
    EXPECT_EQ(device.TermometerName[0], "");
}

TEST_F(RegistrySettingsDeviceTest, ValueOfOtherTypeIsTakenByItsBytes) {
    const uint8_t comPort[4] = {5, 0, 0, 0};
    store.SetValue(DriverKey, "ComPort", SettingsValue::Binary(comPort, 4));
    store.SetValue(DriverKey, "AscomMaxFocusPos", SettingsValue::String("AB"));  // 'A' 'B' NUL
    const uint8_t shortStep[4] = {0, 0, 0, 0};
    store.SetValue(DriverKey, "StepLenInMicrons", SettingsValue::Binary(shortStep, 4));
    store.SetValue(DriverKey, "MinMotorStep", SettingsValue::Binary(comPort, 2));
    WheelFocuserDevice device(store, timers);
    EXPECT_EQ(device.settings.ComPort, 5);
    EXPECT_EQ(device.settings.AscomMaxFocusPos, 30000);        // 3 bytes: too short, missing
    EXPECT_DOUBLE_EQ(device.settings.StepLenInMicrons, 10.0);  // 4 of 8 bytes: missing
    EXPECT_EQ(device.MinMotorStep, 1);
}

TEST_F(RegistrySettingsDeviceTest, UnavailableStoreKeepsDefaultsAndStoresNothing) {
    store.SetValue(DriverKey, "ComPort", SettingsValue::Dword(9));
    store.SetUnavailable(true);
    {
        WheelFocuserDevice device(store, timers);
        EXPECT_EQ(device.settings.ComPort, 0);
        device.settings.ComPort = 4;
        EXPECT_FALSE(device.SaveRegistry());
    }
    store.SetUnavailable(false);
    EXPECT_EQ(Stored("ComPort").data, Bytes({9, 0, 0, 0}));
    EXPECT_EQ(store.ValueNames(DriverKey).size(), 1u);
}

}  // namespace
}  // namespace kavri
