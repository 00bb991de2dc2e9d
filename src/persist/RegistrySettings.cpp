// The device's settings in the settings store: the values shared with the focuser driver under
// DriverKey, and the filter set and stepping parameters of the stepper base under a caller's
// key. Loads take every value by its bytes, whatever type it was stored with; a value that is
// missing or unreadable leaves its field as it was.
#include "persist/RegistrySettings.h"

#include <cstring>
#include <string>

#include "device/StepperWheel.h"
#include "device/WheelFocuserDevice.h"
#include "device/SettingsStore.h"
#include "persist/SettingsValueAccess.h"

namespace kavri {

namespace {

// Beyond this a stored filter count is taken as damage, not as a table size.
constexpr int32_t kMaxStoredFilters = 1000;
constexpr size_t kMaxStoredNameLength = kFilterNameSize - 1;

SettingsValue DoubleValue(double value) {
    uint64_t raw = 0;
    std::memcpy(&raw, &value, sizeof raw);
    uint8_t bytes[8];
    for (auto& byte : bytes) {
        byte = static_cast<uint8_t>(raw);
        raw >>= 8;
    }
    return SettingsValue::Binary(bytes, sizeof bytes);
}

SettingsValue MaskValue(MotorBits bits) {
    const uint8_t bytes[2] = {bits.set, bits.clear};
    return SettingsValue::Binary(bytes, sizeof bytes);
}

class ValueReader {
public:
    ValueReader(const SettingsStore& store, const std::string& keyPath)
        : store_(store), keyPath_(keyPath) {}

    bool Int32(const std::string& name, int32_t& field) const {
        SettingsValue value;
        return store_.QueryValue(keyPath_, name, value) && ReadValueInt32(value, field);
    }
    bool Double(const std::string& name, double& field) const {
        SettingsValue value;
        return store_.QueryValue(keyPath_, name, value) && ReadValueDouble(value, field);
    }
    bool Mask(const std::string& name, MotorBits& field) const {
        SettingsValue value;
        uint8_t bytes[2];
        if (!store_.QueryValue(keyPath_, name, value) || !ReadValueBytes(value, bytes, 2)) {
            return false;
        }
        field = MotorBits{bytes[0], bytes[1]};
        return true;
    }
    bool Text(const std::string& name, std::string& field,
              size_t maxLength = kStringBufferSize - 1) const {
        SettingsValue value;
        return store_.QueryValue(keyPath_, name, value) && ReadValueText(value, field, maxLength);
    }

private:
    const SettingsStore& store_;
    const std::string keyPath_;
};

std::string FilterValueName(size_t index, const char* suffix) {
    return "Filter" + std::to_string(index) + suffix;
}

std::string TermometerValueName(int index) {
    return "TermometerName" + std::to_string(index);
}

}  // namespace

bool WheelFocuserDevice::SaveRegistry() {
    if (!store.CreateKey(DriverKey)) return false;
    // Individual write failures are not fatal: every value gets its chance.
    store.SetValue(DriverKey, "ComPort", SettingsValue::Dword(settings.ComPort));
    store.SetValue(DriverKey, "ChangeFilterTimeoutMs", SettingsValue::Dword(ChangeFilterTimeoutMs));
    store.SetValue(DriverKey, "StepLenInMicrons", DoubleValue(settings.StepLenInMicrons));
    store.SetValue(DriverKey, "AscomPreferredTermometer",
                   SettingsValue::Dword(settings.AscomPreferredTermometer));
    store.SetValue(DriverKey, "AscomFocusShift", SettingsValue::Dword(settings.AscomFocusShift));
    store.SetValue(DriverKey, "AscomMaxFocusPos", SettingsValue::Dword(settings.AscomMaxFocusPos));
    store.SetValue(DriverKey, "MinMotorStep", SettingsValue::Dword(MinMotorStep));
    store.SetValue(DriverKey, "LogFile", SettingsValue::String(LogFile));
    for (int i = 0; i < kThermometerSlots; ++i) {
        store.SetValue(DriverKey, TermometerValueName(i), SettingsValue::String(TermometerName[i]));
    }
    return store.Flush();
}

bool WheelFocuserDevice::LoadRegistry() {
    // The key is created when missing, so a first run leaves an empty key behind.
    if (!store.CreateKey(DriverKey)) return false;
    const ValueReader read(store, DriverKey);
    read.Int32("ComPort", settings.ComPort);
    read.Int32("ChangeFilterTimeoutMs", ChangeFilterTimeoutMs);
    read.Double("StepLenInMicrons", settings.StepLenInMicrons);
    read.Int32("AscomPreferredTermometer", settings.AscomPreferredTermometer);
    read.Int32("AscomFocusShift", settings.AscomFocusShift);
    read.Int32("AscomMaxFocusPos", settings.AscomMaxFocusPos);
    read.Int32("MinMotorStep", MinMotorStep);
    read.Text("LogFile", LogFile);
    for (int i = 0; i < kThermometerSlots; ++i)
        read.Text(TermometerValueName(i), TermometerName[i]);
    return true;
}

bool StepperWheel::SaveFilterSet(SettingsStore& store, const std::string& keyPath) {
    store.SetValue(keyPath, "EnableFilterSet", SettingsValue::Dword(EnableFilterSet));
    store.SetValue(keyPath, "FiltersCount",
                   SettingsValue::Dword(static_cast<int32_t>(filters.size())));
    for (size_t i = 0; i < filters.size(); ++i) {
        const FilterEntry& row = filters[i];
        // The whole name field, NUL and trailing bytes included.
        store.SetValue(keyPath, FilterValueName(i, "Name"),
                       SettingsValue::Binary(row.name, sizeof row.name));
        store.SetValue(keyPath, FilterValueName(i, "Pos"), SettingsValue::Dword(row.wheelPosition));
        store.SetValue(keyPath, FilterValueName(i, "FocuserPos"),
                       SettingsValue::Dword(row.focuserPosition));
    }
    store.SetValue(keyPath, "MaxRollbackShift", SettingsValue::Dword(MaxRollbackShift));
    store.SetValue(keyPath, "InitialStep", SettingsValue::Dword(InitialStep));
    store.SetValue(keyPath, "RollbackInterval", SettingsValue::Dword(RollbackInterval));
    return SaveMotorParameters(store, keyPath);
}

bool StepperWheel::SaveMotorParameters(SettingsStore& store, const std::string& keyPath) {
    store.SetValue(keyPath, "StepTime", SettingsValue::Dword(StepTime));
    store.SetValue(keyPath, "InitTime", SettingsValue::Dword(InitTime));
    store.SetValue(keyPath, "ReleaseTime", SettingsValue::Dword(ReleaseTime));
    store.SetValue(keyPath, "HalfStep", SettingsValue::Dword(HalfStep));
    store.SetValue(keyPath, "BackLash", SettingsValue::Dword(BackLash));
    store.SetValue(keyPath, "BitsInitial", MaskValue(BitsInitial));
    store.SetValue(keyPath, "BitsHiPower", MaskValue(BitsHiPower));
    store.SetValue(keyPath, "BitsLowPower", MaskValue(BitsLowPower));
    store.SetValue(keyPath, "BitsStep0", MaskValue(BitsStep0));
    store.SetValue(keyPath, "BitsStep1", MaskValue(BitsStep1));
    store.SetValue(keyPath, "BitsStep2", MaskValue(BitsStep2));
    return store.SetValue(keyPath, "BitsStep3", MaskValue(BitsStep3));
}

bool StepperWheel::LoadFilterSet(SettingsStore& store, const std::string& keyPath) {
    const ValueReader read(store, keyPath);
    read.Int32("EnableFilterSet", EnableFilterSet);
    int32_t count = 0;
    read.Int32("FiltersCount", count);
    // A count below 0 or above 1000 is damage, not a table size: it is ignored and the table
    // keeps its rows, rather than being emptied or grown to millions of rows. The remaining
    // values still load.
    if (count >= 0 && count <= kMaxStoredFilters) {
        filters.resize(static_cast<size_t>(count), FilterEntry{});
        for (size_t i = 0; i < filters.size(); ++i) {
            FilterEntry& row = filters[i];
            std::string name;
            if (read.Text(FilterValueName(i, "Name"), name, kMaxStoredNameLength)) {
                std::memcpy(row.name, name.data(), name.size());
                row.name[name.size()] = '\0';
            }
            read.Int32(FilterValueName(i, "Pos"), row.wheelPosition);
            read.Int32(FilterValueName(i, "FocuserPos"), row.focuserPosition);
        }
    }
    read.Int32("MaxRollbackShift", MaxRollbackShift);
    read.Int32("InitialStep", InitialStep);
    read.Int32("RollbackInterval", RollbackInterval);
    return LoadMotorParameters(store, keyPath);
}

bool StepperWheel::LoadMotorParameters(SettingsStore& store, const std::string& keyPath) {
    const ValueReader read(store, keyPath);
    read.Int32("StepTime", StepTime);
    read.Int32("InitTime", InitTime);
    read.Int32("ReleaseTime", ReleaseTime);
    read.Int32("HalfStep", HalfStep);
    read.Int32("BackLash", BackLash);
    read.Mask("BitsInitial", BitsInitial);
    read.Mask("BitsHiPower", BitsHiPower);
    read.Mask("BitsLowPower", BitsLowPower);
    read.Mask("BitsStep0", BitsStep0);
    read.Mask("BitsStep1", BitsStep1);
    read.Mask("BitsStep2", BitsStep2);
    return read.Mask("BitsStep3", BitsStep3);
}

}  // namespace kavri
