// The device's settings in the settings store: the values shared with the focuser driver under
// DriverKey, and the filter set and stepping parameters of the stepper base under a caller's
// key. Loads take every value by its bytes, whatever type it was stored with; a value that is
// missing or unreadable leaves its field as it was. Names (thermometer and filter names) are
// windows-1251 bytes in the device and UTF-8 text in the store's string values; paths such as
// LogFile are the file system's bytes and are not converted.
#include "persist/RegistrySettings.h"

#include <cstring>
#include <string>
#include <vector>

#include "device/Cp1251.h"
#include "device/SettingsStore.h"
#include "device/StepperWheel.h"
#include "device/WheelFocuserDevice.h"
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

// A name as the device holds it (windows-1251 bytes) from a stored value. A string value is
// UTF-8 text and is converted; a character the code page lacks becomes '?', the nearest the
// device can show. Text that is not UTF-8 at all is taken byte for byte: it was most likely
// stored as windows-1251 by an older version. Values of other types are taken by their bytes.
// Cut to `maxLength` bytes after conversion, so no character is split. `lossy` tells whether a
// character had to be replaced.
bool StoredName(const SettingsValue& value, std::string& field, size_t maxLength,
                bool* lossy = nullptr) {
    std::string text;
    if (!ReadValueText(value, text)) return false;
    if (value.type == SettingsValueType::String) {
        std::string pending = text;
        std::string encoded;
        std::string unsupported;
        for (;;) {
            if (Utf8ToCp1251(pending, encoded, &unsupported)) {
                text = std::move(encoded);
                break;
            }
            // Bad UTF-8 comes back as one byte, a character the code page lacks as several.
            if (unsupported.size() < 2) break;
            pending.replace(pending.find(unsupported), unsupported.size(), "?");
            if (lossy != nullptr) *lossy = true;
        }
    }
    field = text.substr(0, maxLength);
    return true;
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
    bool Text(const std::string& name, std::string& field) const {
        SettingsValue value;
        return store_.QueryValue(keyPath_, name, value) && ReadValueText(value, field);
    }
    bool Name(const std::string& name, std::string& field,
              size_t maxLength = kStringBufferSize - 1) const {
        SettingsValue value;
        return store_.QueryValue(keyPath_, name, value) && StoredName(value, field, maxLength);
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

struct DriverValue {
    std::string name;
    SettingsValue value;
    // For a thermometer name, its field: windows-1251 in the device, UTF-8 when stored.
    const std::string* nameField = nullptr;
};

// The twelve values under DriverKey as the device's fields give them, in the order they are
// saved and loaded.
std::vector<DriverValue> DriverValues(const WheelFocuserDevice& device) {
    std::vector<DriverValue> values = {
        {"ComPort", SettingsValue::Dword(device.settings.ComPort)},
        {"ChangeFilterTimeoutMs", SettingsValue::Dword(device.ChangeFilterTimeoutMs)},
        {"StepLenInMicrons", DoubleValue(device.settings.StepLenInMicrons)},
        {"AscomPreferredTermometer",
         SettingsValue::Dword(device.settings.AscomPreferredTermometer)},
        {"AscomFocusShift", SettingsValue::Dword(device.settings.AscomFocusShift)},
        {"AscomMaxFocusPos", SettingsValue::Dword(device.settings.AscomMaxFocusPos)},
        {"MinMotorStep", SettingsValue::Dword(device.MinMotorStep)},
        {"LogFile", SettingsValue::String(device.LogFile)},
    };
    for (int i = 0; i < kThermometerSlots; ++i) {
        values.push_back({TermometerValueName(i),
                          SettingsValue::String(Cp1251ToUtf8(device.TermometerName[i])),
                          &device.TermometerName[i]});
    }
    return values;
}

// A stored name with characters the code page lacks loaded with '?' in their place. While
// the name is not changed in the program its stored text is left as it is, rather than being
// replaced by the '?' form. (A name an older version stored as windows-1251 bytes is written
// again as the same name in readable UTF-8.)
bool KeepStoredName(const SettingsStore& store, const std::string& valueName,
                    const std::string& field) {
    SettingsValue stored;
    std::string loaded;
    bool lossy = false;
    return store.QueryValue(DriverKey, valueName, stored) &&
           StoredName(stored, loaded, kStringBufferSize - 1, &lossy) && lossy && loaded == field;
}

}  // namespace

bool WheelFocuserDevice::SaveRegistry() {
    if (!store.CreateKey(DriverKey)) return false;
    // Individual write failures are not fatal: every value gets its chance.
    for (const DriverValue& entry : DriverValues(*this)) {
        if (entry.nameField && KeepStoredName(store, entry.name, *entry.nameField)) continue;
        store.SetValue(DriverKey, entry.name, entry.value);
    }
    return store.Flush();
}

bool WheelFocuserDevice::LoadRegistry() {
    // What the store could not read (damaged lines, an unreadable file) is told once, here.
    for (const std::string& notice : store.TakeNotices()) log.Print("%s\r\n", notice.c_str());
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
        read.Name(TermometerValueName(i), TermometerName[i]);
    // A missing value leaves its field at the default; saving that default later then fills
    // the gap without replacing what another program may store meanwhile.
    for (const DriverValue& entry : DriverValues(*this))
        store.AssumeMissingValue(DriverKey, entry.name, entry.value);
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
            if (read.Name(FilterValueName(i, "Name"), name, kMaxStoredNameLength)) {
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
