#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/StepperWheel.h"
#include "persist/MemorySettingsStore.h"

namespace kavri {
namespace {

class Wheel : public StepperWheel {
public:
    Wheel() : StepperWheel([](int) {}) {}
    void WriteOutputBits(uint8_t) override {}

    void AddFilter(const char* name, int32_t wheelPosition, int32_t focuserPosition) {
        FilterEntry row;
        std::strncpy(row.name, name, sizeof row.name - 1);
        row.wheelPosition = wheelPosition;
        row.focuserPosition = focuserPosition;
        filters.push_back(row);
    }
};

const std::string kKey = "Software\\Kavri\\Wheel";

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> bytes) {
    return bytes;
}

TEST(RegistrySettingsFilterSetTest, SaveWritesRowsThenRollbackThenMotorValuesInOrder) {
    Wheel wheel;
    wheel.AddFilter("Red", 100, 2500);
    wheel.AddFilter("Green", 200, 20000);
    wheel.AddFilter("Blue", 300, -40);
    wheel.BitsStep2 = {0x12, 0x34};
    MemorySettingsStore store;
    ASSERT_TRUE(wheel.SaveFilterSet(store, kKey));

    const std::vector<std::string> expected = {
        "EnableFilterSet",   "FiltersCount",     "Filter0Name",       "Filter0Pos",
        "Filter0FocuserPos", "Filter1Name",      "Filter1Pos",        "Filter1FocuserPos",
        "Filter2Name",       "Filter2Pos",       "Filter2FocuserPos", "MaxRollbackShift",
        "InitialStep",       "RollbackInterval", "StepTime",          "InitTime",
        "ReleaseTime",       "HalfStep",         "BackLash",          "BitsInitial",
        "BitsHiPower",       "BitsLowPower",     "BitsStep0",         "BitsStep1",
        "BitsStep2",         "BitsStep3"};
    EXPECT_EQ(store.ValueNames(kKey), expected);

    SettingsValue value;
    ASSERT_TRUE(store.QueryValue(kKey, "FiltersCount", value));
    EXPECT_EQ(value.type, SettingsValueType::Dword);
    EXPECT_EQ(value.data, Bytes({3, 0, 0, 0}));
    ASSERT_TRUE(store.QueryValue(kKey, "Filter1Name", value));
    EXPECT_EQ(value.type, SettingsValueType::Binary);
    ASSERT_EQ(value.data.size(), 20u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(value.data.data())), "Green");
    ASSERT_TRUE(store.QueryValue(kKey, "Filter2FocuserPos", value));
    EXPECT_EQ(value.data, Bytes({0xD8, 0xFF, 0xFF, 0xFF}));
    ASSERT_TRUE(store.QueryValue(kKey, "BitsInitial", value));
    EXPECT_EQ(value.data, Bytes({0x00, 0xFF}));
    ASSERT_TRUE(store.QueryValue(kKey, "BitsStep2", value));
    EXPECT_EQ(value.data, Bytes({0x12, 0x34}));
}

TEST(RegistrySettingsFilterSetTest, LoadResizesTableAndRestoresEveryField) {
    Wheel saved;
    saved.AddFilter("L", 10, 1);
    saved.AddFilter("Ha", 20, 2);
    saved.AddFilter("OIII", 30, 3);
    saved.EnableFilterSet = 0;
    saved.MaxRollbackShift = 40;
    saved.InitialStep = -8;
    saved.RollbackInterval = 3;
    saved.StepTime = 4;
    saved.HalfStep = 1;
    saved.BackLash = 6;
    saved.BitsLowPower = {0x80, 0x01};
    MemorySettingsStore store;
    saved.SaveFilterSet(store, kKey);

    Wheel loaded;
    for (int i = 0; i < 5; ++i) loaded.AddFilter("old", 99, 99);
    ASSERT_TRUE(loaded.LoadFilterSet(store, kKey));
    ASSERT_EQ(loaded.filters.size(), 3u);
    EXPECT_STREQ(loaded.filters[2].name, "OIII");
    EXPECT_EQ(loaded.filters[2].wheelPosition, 30);
    EXPECT_EQ(loaded.filters[2].focuserPosition, 3);
    EXPECT_EQ(loaded.EnableFilterSet, 0);
    EXPECT_EQ(loaded.MaxRollbackShift, 40);
    EXPECT_EQ(loaded.InitialStep, -8);
    EXPECT_EQ(loaded.RollbackInterval, 3);
    EXPECT_EQ(loaded.StepTime, 4);
    EXPECT_EQ(loaded.HalfStep, 1);
    EXPECT_EQ(loaded.BackLash, 6);
    EXPECT_EQ(loaded.BitsLowPower.set, 0x80);
    EXPECT_EQ(loaded.BitsLowPower.clear, 0x01);
}

TEST(RegistrySettingsFilterSetTest, MissingNameKeepsRowNameButReadsPositions) {
    MemorySettingsStore store;
    store.SetValue(kKey, "FiltersCount", SettingsValue::Dword(2));
    const char name0[20] = "Lum";
    store.SetValue(kKey, "Filter0Name", SettingsValue::Binary(name0, sizeof name0));
    store.SetValue(kKey, "Filter1Pos", SettingsValue::Dword(250));
    store.SetValue(kKey, "Filter1FocuserPos", SettingsValue::Dword(-3));

    Wheel wheel;
    wheel.AddFilter("Keep", 1, 1);
    wheel.LoadFilterSet(store, kKey);
    ASSERT_EQ(wheel.filters.size(), 2u);
    EXPECT_STREQ(wheel.filters[0].name, "Lum");
    EXPECT_EQ(wheel.filters[0].wheelPosition, 1);  // no Filter0Pos stored
    EXPECT_STREQ(wheel.filters[1].name, "");       // appended row starts all zero
    EXPECT_EQ(wheel.filters[1].wheelPosition, 250);
    EXPECT_EQ(wheel.filters[1].focuserPosition, -3);
}

TEST(RegistrySettingsFilterSetTest, StoredNamesAreConvertedThenCutTo19Characters) {
    std::string cyrillic;
    for (int i = 0; i < 25; ++i) cyrillic += "Ж";
    const std::string raw = "\xC6\xE5\xEB";  // windows-1251 "Жел" stored as bytes
    const struct {
        SettingsValue stored;
        std::string expected;
    } cases[] = {
        {SettingsValue::String(std::string(40, 'n')), std::string(19, 'n')},
        {SettingsValue::String(cyrillic), std::string(19, '\xC6')},  // UTF-8 text: converted
        {SettingsValue::Binary(raw.c_str(), raw.size() + 1), raw},   // raw bytes: as they are
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        MemorySettingsStore store;
        store.SetValue(kKey, "FiltersCount", SettingsValue::Dword(1));
        store.SetValue(kKey, "Filter0Name", c.stored);
        Wheel wheel;
        wheel.LoadFilterSet(store, kKey);
        ASSERT_EQ(wheel.filters.size(), 1u);
        EXPECT_EQ(std::string(wheel.filters[0].name), c.expected);
    }
}

TEST(RegistrySettingsFilterSetTest, OutOfRangeCountLeavesTableButLoadsTheRest) {
    for (int32_t count : {-1, 1001, 0x7FFFFFFF}) {
        MemorySettingsStore store;
        store.SetValue(kKey, "FiltersCount", SettingsValue::Dword(count));
        store.SetValue(kKey, "InitialStep", SettingsValue::Dword(77));
        Wheel wheel;
        wheel.AddFilter("Keep", 5, 6);
        wheel.LoadFilterSet(store, kKey);
        ASSERT_EQ(wheel.filters.size(), 1u) << "count " << count;
        EXPECT_STREQ(wheel.filters[0].name, "Keep");
        EXPECT_EQ(wheel.InitialStep, 77);
    }
}

TEST(RegistrySettingsFilterSetTest, MotorValuesOfOtherTypesAreTakenByBytesShortOnesSkipped) {
    MemorySettingsStore store;
    const uint8_t stepTime[4] = {0x19, 0, 0, 0};
    store.SetValue(kKey, "StepTime", SettingsValue::Binary(stepTime, 4));
    store.SetValue(kKey, "BitsStep0", SettingsValue::Dword(0x0000BBAA));  // first 2 bytes
    const uint8_t oneByte[1] = {0x55};
    store.SetValue(kKey, "BitsStep1", SettingsValue::Binary(oneByte, 1));  // too short
    store.SetValue(kKey, "InitTime", SettingsValue::Binary(oneByte, 1));   // too short
    Wheel wheel;
    wheel.BitsStep1 = {0x01, 0x02};
    wheel.LoadMotorParameters(store, kKey);
    EXPECT_EQ(wheel.StepTime, 25);
    EXPECT_EQ(wheel.BitsStep0.set, 0xAA);
    EXPECT_EQ(wheel.BitsStep0.clear, 0xBB);
    EXPECT_EQ(wheel.BitsStep1.set, 0x01);
    EXPECT_EQ(wheel.BitsStep1.clear, 0x02);
    EXPECT_EQ(wheel.InitTime, 0);
}

}  // namespace
}  // namespace kavri
