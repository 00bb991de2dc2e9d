// SPDX-License-Identifier: GPL-3.0-or-later
// The registry store against the real registry (Wine's under CI). Each test works under a key
// of its own below Software\KavriTest, removed afterwards, so the tests run in parallel.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "persist/SystemRegistryStore.h"

namespace kavri {
namespace {

using Hive = SystemRegistryStore::Hive;

long RefuseMachine(Hive hive) {
    return hive == Hive::Machine ? ERROR_ACCESS_DENIED : 0;
}

long RefuseAll(Hive) {
    return ERROR_ACCESS_DENIED;
}

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());  // the test keys are ASCII
}

// A value as another program reads it: the focuser driver reads HKLM in the 32-bit view.
bool RawValue(HKEY root, REGSAM view, const std::string& key, const char* name, DWORD& type,
              std::vector<uint8_t>& data) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, Wide(key).c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS) {
        return false;
    }
    DWORD size = 4096;
    data.assign(size, 0);
    const LONG status =
        RegQueryValueExW(handle, Wide(name).c_str(), nullptr, &type, data.data(), &size);
    RegCloseKey(handle);
    data.resize(status == ERROR_SUCCESS ? size : 0);
    return status == ERROR_SUCCESS;
}

class SystemRegistryStoreTest : public ::testing::Test {
protected:
    ~SystemRegistryStoreTest() override {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            HKEY parent = nullptr;
            if (RegOpenKeyExW(root, L"Software\\KavriTest", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                              &parent) == ERROR_SUCCESS) {
                RegDeleteTreeW(parent, Wide(name_).c_str());
                RegCloseKey(parent);
            }
        }
    }

    const std::string name_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string key_ = "Software\\KavriTest\\" + name_;
};

TEST_F(SystemRegistryStoreTest, WritesTypedValuesWhereThe32BitDriverReads) {
    SystemRegistryStore store;
    const uint8_t step[8] = {0, 0, 0, 0, 0, 0, 0x24, 0x40};
    ASSERT_TRUE(store.CreateKey(key_));
    ASSERT_TRUE(store.SetValue(key_, "AscomFocusShift", SettingsValue::Dword(-500)));
    ASSERT_TRUE(store.SetValue(key_, "StepLenInMicrons", SettingsValue::Binary(step, 8)));
    ASSERT_TRUE(store.SetValue(key_, "TermometerName0", SettingsValue::String("Купол")));
    EXPECT_TRUE(store.Flush());
    EXPECT_EQ(store.StorageWarning(), "");

    struct Expected {
        const char* name;
        DWORD type;
        std::vector<uint8_t> data;
    };
    const Expected cases[] = {
        {"AscomFocusShift", REG_DWORD, {0x0C, 0xFE, 0xFF, 0xFF}},
        {"StepLenInMicrons", REG_BINARY, {0, 0, 0, 0, 0, 0, 0x24, 0x40}},
        // UTF-16 with its NUL: К у п о л.
        {"TermometerName0", REG_SZ, {0x1A, 4, 0x43, 4, 0x3F, 4, 0x3E, 4, 0x3B, 4, 0, 0}},
    };
    for (const Expected& expected : cases) {
        SCOPED_TRACE(expected.name);
        DWORD type = 0;
        std::vector<uint8_t> data;
        ASSERT_TRUE(RawValue(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, key_, expected.name, type, data));
        EXPECT_EQ(type, expected.type);
        EXPECT_EQ(data, expected.data);
        EXPECT_FALSE(
            RawValue(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, key_, expected.name, type, data));
    }
    SettingsValue name;
    ASSERT_TRUE(SystemRegistryStore().QueryValue(key_, "TermometerName0", name));
    EXPECT_EQ(name.type, SettingsValueType::String);
    EXPECT_EQ(std::string(name.data.begin(), name.data.end()), std::string("Купол") + '\0');
}

TEST_F(SystemRegistryStoreTest, RefusedMachineKeyIsReportedAndFallsBackToTheUser) {
    struct Case {
        const char* what;
        SystemRegistryStore::WriteCheck check;
        bool saved;
    };
    const Case cases[] = {{"no registry access at all", RefuseAll, false},
                          {"no administrator rights", RefuseMachine, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SystemRegistryStore store(c.check);
        EXPECT_EQ(store.CreateKey(key_), c.saved);
        EXPECT_EQ(store.SetValue(key_, "ComPort", SettingsValue::Dword(7)), c.saved);
        EXPECT_EQ(store.Flush(), c.saved);
        EXPECT_EQ(store.WriteHive(), Hive::User);
        EXPECT_NE(store.StorageWarning().find("focuser driver may not find them"),
                  std::string::npos);
        EXPECT_EQ(store.TakeNotices().empty(), c.saved);
        DWORD type = 0;
        std::vector<uint8_t> data;
        EXPECT_EQ(RawValue(HKEY_CURRENT_USER, 0, key_, "ComPort", type, data), c.saved);
        EXPECT_FALSE(RawValue(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, key_, "ComPort", type, data));
    }
}

TEST_F(SystemRegistryStoreTest, UserCopyIsReadFirstUntilTheMachineKeyTakesTheValue) {
    const auto stored = [&] {
        SettingsValue value;
        int32_t number = 0;
        if (SystemRegistryStore().QueryValue(key_, "ComPort", value) && value.data.size() == 4) {
            std::memcpy(&number, value.data.data(), 4);
        }
        return number;
    };
    ASSERT_TRUE(SystemRegistryStore().SetValue(key_, "ComPort", SettingsValue::Dword(1)));
    ASSERT_TRUE(
        SystemRegistryStore(RefuseMachine).SetValue(key_, "ComPort", SettingsValue::Dword(2)));
    EXPECT_EQ(stored(), 2);
    ASSERT_TRUE(SystemRegistryStore().SetValue(key_, "ComPort", SettingsValue::Dword(3)));
    EXPECT_EQ(stored(), 3);
    HKEY user = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, Wide(key_).c_str(), 0, KEY_READ, &user),
              ERROR_SUCCESS);
}

TEST_F(SystemRegistryStoreTest, RefusesPathsAndNamesThatWouldAddressAnotherKeyOrValue) {
    SystemRegistryStore store;
    for (const std::string& path : {std::string(), std::string("\\"), key_ + "\\\\x"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(store.CreateKey(path));
        EXPECT_FALSE(store.SetValue(path, "ComPort", SettingsValue::Dword(1)));
    }
    EXPECT_FALSE(store.SetValue(key_, std::string("Com\0Port", 8), SettingsValue::Dword(1)));
    EXPECT_FALSE(store.Flush());
    SettingsValue value;
    EXPECT_FALSE(store.QueryValue(key_, "Com", value));
}

}  // namespace
}  // namespace kavri
