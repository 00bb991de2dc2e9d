// The device's settings in the store: the twelve values the focuser driver shares under
// DriverKey, and the stepper base's filter set under a caller's key.
#include <gtest/gtest.h>

#include <cstring>
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

using Data = std::vector<uint8_t>;

class RegistrySettingsTest : public ::testing::Test {
protected:
    SettingsValue Stored(const std::string& name, const std::string& key = DriverKey) {
        SettingsValue value;
        EXPECT_TRUE(store.QueryValue(key, name, value)) << name;
        return value;
    }

    MemorySettingsStore store;
    ManualTimerService timers;
};

TEST_F(RegistrySettingsTest, TheTwelveValuesAreWrittenInOrderAndReadBack) {
    {
        WheelFocuserDevice device(store, timers);  // a first run creates the key, empty
        EXPECT_TRUE(store.HasKey(DriverKey));
        EXPECT_TRUE(store.ValueNames(DriverKey).empty());
    }
    const double stepLength = 10.0;
    const std::pair<std::string, SettingsValue> defaults[] = {
        {"ComPort", SettingsValue::Dword(0)},
        {"ChangeFilterTimeoutMs", SettingsValue::Dword(1000)},
        {"StepLenInMicrons", SettingsValue::Binary(&stepLength, 8)},
        {"AscomPreferredTermometer", SettingsValue::Dword(0)},
        {"AscomFocusShift", SettingsValue::Dword(0)},
        {"AscomMaxFocusPos", SettingsValue::Dword(30000)},
        {"MinMotorStep", SettingsValue::Dword(1)},
        {"LogFile", SettingsValue::String("")},
        {"TermometerName0", SettingsValue::String("")},
        {"TermometerName1", SettingsValue::String("")},
        {"TermometerName2", SettingsValue::String("")},
        {"TermometerName3", SettingsValue::String("")},
    };
    std::vector<std::string> order;
    for (const auto& [name, value] : defaults) {
        order.push_back(name);
        EXPECT_EQ(Stored(name).type, value.type) << name;
        EXPECT_EQ(Stored(name).data, value.data) << name;
    }
    EXPECT_EQ(store.ValueNames(DriverKey), order);
    EXPECT_EQ(Stored("StepLenInMicrons").data, (Data{0, 0, 0, 0, 0, 0, 0x24, 0x40}));

    const std::string logFile = "/var/log/" + std::string(291, 'a');  // 300 characters
    {
        WheelFocuserDevice device(store, timers);
        device.settings = {7, 4.25, 2, -500, 65000};
        device.ChangeFilterTimeoutMs = 1500;
        device.MinMotorStep = 25;
        device.LogFile = logFile;
        device.TermometerName[1] = "\xD2\xF0\xF3\xE1\xE0";  // "Труба" in windows-1251
    }
    EXPECT_EQ(Stored("AscomFocusShift").data, (Data{0x0C, 0xFE, 0xFF, 0xFF}));
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
}

// Values are taken by their bytes whatever their type; one too short for its field, or too
// long for its reading buffer, leaves the field as it was, and so does a missing one.
TEST_F(RegistrySettingsTest, OddValuesAreTakenByTheirBytesOrLeaveTheField) {
    const uint8_t five[4] = {5, 0, 0, 0};
    store.SetValue(DriverKey, "ComPort", SettingsValue::Binary(five, 4));
    store.SetValue(DriverKey, "AscomMaxFocusPos", SettingsValue::String("AB"));  // 3 bytes
    store.SetValue(DriverKey, "StepLenInMicrons", SettingsValue::Binary(five, 4));
    store.SetValue(DriverKey, "MinMotorStep", SettingsValue::Binary(five, 2));
    store.SetValue(DriverKey, "LogFile", SettingsValue::String(std::string(2047, 'k')));
    store.SetValue(DriverKey, "TermometerName0", SettingsValue::String(std::string(2048, 'x')));
    WheelFocuserDevice device(store, timers);
    EXPECT_EQ(device.settings.ComPort, 5);
    EXPECT_EQ(device.settings.AscomMaxFocusPos, 30000);
    EXPECT_DOUBLE_EQ(device.settings.StepLenInMicrons, 10.0);
    EXPECT_EQ(device.MinMotorStep, 1);
    EXPECT_EQ(device.ChangeFilterTimeoutMs, 1000);
    EXPECT_EQ(device.LogFile, std::string(2047, 'k'));  // the longest that fits
    EXPECT_EQ(device.TermometerName[0], "");
}

TEST_F(RegistrySettingsTest, AnUnavailableStoreKeepsTheDefaultsAndStoresNothing) {
    store.SetValue(DriverKey, "ComPort", SettingsValue::Dword(9));
    store.SetUnavailable(true);
    {
        WheelFocuserDevice device(store, timers);
        EXPECT_EQ(device.settings.ComPort, 0);
        device.settings.ComPort = 4;
        EXPECT_FALSE(device.SaveRegistry());
    }
    store.SetUnavailable(false);
    EXPECT_EQ(Stored("ComPort").data, (Data{9, 0, 0, 0}));
    EXPECT_EQ(store.ValueNames(DriverKey).size(), 1u);
}

class Wheel : public StepperWheel {
public:
    Wheel() : StepperWheel([](int) {}) {}
    void WriteOutputBits(uint8_t) override {}
};

TEST_F(RegistrySettingsTest, TheFilterSetIsWrittenInOrderAndReadBack) {
    const std::string key = "Software\\Kavri\\Wheel";
    Wheel saved;
    saved.filters.resize(2);
    std::strcpy(saved.filters[1].name, "Green");
    saved.filters[1].focuserPosition = -40;
    saved.BitsStep2 = {0x12, 0x34};
    ASSERT_TRUE(saved.SaveFilterSet(store, key));
    EXPECT_EQ(store.ValueNames(key),
              (std::vector<std::string>{
                  "EnableFilterSet",   "FiltersCount", "Filter0Name",      "Filter0Pos",
                  "Filter0FocuserPos", "Filter1Name",  "Filter1Pos",       "Filter1FocuserPos",
                  "MaxRollbackShift",  "InitialStep",  "RollbackInterval", "StepTime",
                  "InitTime",          "ReleaseTime",  "HalfStep",         "BackLash",
                  "BitsInitial",       "BitsHiPower",  "BitsLowPower",     "BitsStep0",
                  "BitsStep1",         "BitsStep2",    "BitsStep3"}));
    EXPECT_EQ(Stored("Filter1Name", key).data.size(), 20u);  // the whole name field
    EXPECT_EQ(Stored("BitsStep2", key).data, (Data{0x12, 0x34}));

    // A count below 0 or above 1000 is damage: the table keeps its rows, the rest still loads.
    for (const int32_t count : {2, -1, 1001}) {
        SCOPED_TRACE(count);
        if (count != 2) store.SetValue(key, "FiltersCount", SettingsValue::Dword(count));
        Wheel loaded;
        loaded.filters.resize(5);
        loaded.LoadFilterSet(store, key);
        EXPECT_EQ(loaded.filters.size(), count == 2 ? 2u : 5u);
        EXPECT_STREQ(loaded.filters[1].name, count == 2 ? "Green" : "");
        EXPECT_EQ(loaded.filters[1].focuserPosition, count == 2 ? -40 : 0);
        EXPECT_EQ(loaded.BitsStep2.set, 0x12);
        EXPECT_EQ(loaded.BitsStep2.clear, 0x34);
    }
}

TEST(RegistrySettingsFileTest, NamesAreWindows1251InTheDeviceAndUtf8InTheFile) {
    test::TempDir dir;
    const std::string path = dir.File("registry.reg");
    test::WriteFileText(
        path,
        "[HKEY_LOCAL_MACHINE\\Software\\ASCOM\\Focuser Drivers\\Orvanta.Focuser]\r\n"
        "\"TermometerName0\"=\"Красный\"\r\n"
        "\"TermometerName1\"=\"Ω-probe\"\r\n"  // a letter windows-1251 lacks
        // windows-1251 bytes ("Дат") as an older version stored them
        "\"TermometerName2\"=hex(1):c4,dc,e0,dc,f2,dc,00,00\r\n"
        // a path: the file system's bytes, not converted
        "\"LogFile\"=\"/var/log/журнал.log\"\r\n"
        "nonsense\r\n");
    ManualTimerService timers;
    {
        RegistryFileStore store(path);
        WheelFocuserDevice device(store, timers);
        EXPECT_EQ(device.TermometerName[0], "\xCA\xF0\xE0\xF1\xED\xFB\xE9");
        EXPECT_EQ(device.TermometerName[1], "?-probe");
        EXPECT_EQ(device.TermometerName[2], "\xC4\xE0\xF2");
        EXPECT_EQ(device.LogFile, "/var/log/журнал.log");
        device.TermometerName[3] = "\xD1\xE8\xED\xE8\xE9";  // "Синий"

        // What the store could not read is logged, once.
        std::string logged;
        device.log.SetSink([&logged](const char* line) { logged += line; });
        ASSERT_TRUE(store.Reload());
        device.LoadRegistry();
        device.LoadRegistry();
        EXPECT_NE(
            logged.find(" : " + path + ": line 6 not understood, kept as it is: nonsense\r\n"),
            std::string::npos)
            << logged;
        EXPECT_EQ(logged.find("nonsense"), logged.rfind("nonsense"));
    }
    const std::string text = test::ReadFileText(path);
    for (const char* line : {"\"TermometerName0\"=\"Красный\"\r\n",
                             "\"TermometerName1\"=\"Ω-probe\"\r\n",  // kept while unchanged
                             "\"TermometerName2\"=\"Дат\"\r\n", "\"TermometerName3\"=\"Синий\"\r\n",
                             "\"LogFile\"=\"/var/log/журнал.log\"\r\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    {
        RegistryFileStore store(path);
        WheelFocuserDevice device(store, timers);
        device.TermometerName[1] = "probe";  // a name changed in the program replaces it
    }
    EXPECT_NE(test::ReadFileText(path).find("\"TermometerName1\"=\"probe\"\r\n"),
              std::string::npos);
}

}  // namespace
}  // namespace kavri
