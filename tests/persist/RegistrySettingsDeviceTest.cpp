#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/ManualTimerService.h"
#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "persist/RegistryFileStore.h"
#include "persist/RegistrySettings.h"
#include "support/TempDir.h"

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
        device.TermometerName[1] = "\xD2\xF0\xF3\xE1\xE0";  // "Труба" in windows-1251
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
    EXPECT_EQ(device.TermometerName[1], "\xD2\xF0\xF3\xE1\xE0");
    EXPECT_EQ(Stored("TermometerName1").data, SettingsValue::String("Труба").data);
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

TEST(RegistrySettingsNamesTest, NamesAreWindows1251InTheDeviceAndUtf8InTheFile) {
    test::TempDir dir;
    const std::string path = dir.File("registry.reg");
    const std::string section =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\ASCOM\\Focuser Drivers\\Orvanta.Focuser]\r\n";
    test::WriteFileText(path,
                        section +
                            "\"TermometerName0\"=\"Красный\"\r\n"
                            "\"TermometerName1\"=\"Ω-probe\"\r\n"  // a letter windows-1251 lacks
                            // windows-1251 bytes ("Дат") as an older version stored them
                            "\"TermometerName2\"=hex(1):c4,dc,e0,dc,f2,dc,00,00\r\n"
                            // a path: the file system's bytes, not converted
                            "\"LogFile\"=\"/var/log/журнал.log\"\r\n");
    ManualTimerService timers;
    {
        RegistryFileStore store(path);
        WheelFocuserDevice device(store, timers);
        EXPECT_EQ(device.TermometerName[0], "\xCA\xF0\xE0\xF1\xED\xFB\xE9");
        EXPECT_EQ(device.TermometerName[1], "?-probe");
        EXPECT_EQ(device.TermometerName[2], "\xC4\xE0\xF2");
        EXPECT_EQ(device.LogFile, "/var/log/журнал.log");
        device.TermometerName[3] = "\xD1\xE8\xED\xE8\xE9";  // "Синий"
    }
    const std::string text = test::ReadFileText(path);
    for (const char* line : {"\"TermometerName0\"=\"Красный\"\r\n",
                             "\"TermometerName1\"=\"Ω-probe\"\r\n",  // kept while unchanged
                             "\"TermometerName2\"=\"Дат\"\r\n", "\"TermometerName3\"=\"Синий\"\r\n",
                             "\"LogFile\"=\"/var/log/журнал.log\"\r\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    // A name changed in the program replaces the stored one.
    {
        RegistryFileStore store(path);
        WheelFocuserDevice device(store, timers);
        device.TermometerName[1] = "probe";
    }
    EXPECT_NE(test::ReadFileText(path).find("\"TermometerName1\"=\"probe\"\r\n"),
              std::string::npos);
}

TEST(RegistrySettingsNamesTest, WhatTheStoreCouldNotReadIsLoggedOnce) {
    test::TempDir dir;
    const std::string path = dir.File("registry.reg");
    test::WriteFileText(path, "[HKEY_LOCAL_MACHINE\\Software]\r\nnonsense\r\n");
    RegistryFileStore store(path);
    ManualTimerService timers;
    WheelFocuserDevice device(store, timers);  // tells it on the default sink
    std::string logged;
    device.log.SetSink([&logged](const char* line) { logged += line; });
    ASSERT_TRUE(store.Reload());
    device.LoadRegistry();
    device.LoadRegistry();
    EXPECT_NE(logged.find(" : " + path + ": line "), std::string::npos) << logged;
    EXPECT_NE(logged.find(" not understood, kept as it is: nonsense\r\n"), std::string::npos)
        << logged;
    EXPECT_EQ(logged.find("nonsense"), logged.rfind("nonsense"));
}

}  // namespace
}  // namespace kavri
