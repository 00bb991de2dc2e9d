// SPDX-License-Identifier: GPL-3.0-or-later
// The device's settings in the settings store: the values shared with the focuser driver under
// DriverKey, and the filter set and stepping parameters of the stepper base under a caller's
// key. Loads take a value of the field's type, or raw bytes, by its bytes; a value that is
// missing, unreadable or of another type leaves its field as it was. Names (thermometer and filter
// names) are windows-1251 bytes in the device and UTF-8 text in the store's string values; paths
// such as LogFile are the file system's bytes and are not converted.
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
// stored as windows-1251 by an older version. Raw bytes are taken as they are. Cut to
// `maxLength` bytes after conversion, so no character is split.
bool StoredName(const SettingsValue& value, std::string& field, size_t maxLength) {
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
        }
    }
    field = text.substr(0, maxLength);
    return true;
}

SettingsValue MaskValue(MotorBits bits) {
    const uint8_t bytes[2] = {bits.set, bits.clear};
    return SettingsValue::Binary(bytes, sizeof bytes);
}

const char* TypeName(SettingsValueType type) {
    switch (type) {
        case SettingsValueType::Dword:
            return "a number (REG_DWORD)";
        case SettingsValueType::String:
            return "text (REG_SZ)";
        case SettingsValueType::Binary:
            break;
    }
    return "raw bytes (REG_BINARY)";
}

// Reads values under one key into fields. A missing value, or one that cannot be read, leaves
// its field as it was. With `notices`, a value that is there but unusable is also told there:
// one of another kind than the field (text where a number belongs, a number where the 8 bytes
// of a double or a text belong), or one too short or too long for it. Raw bytes are taken by
// their bytes for any field, as registry tools write hand-made values that way.
class ValueReader {
public:
    ValueReader(const SettingsStore& store, const std::string& keyPath,
                std::vector<std::string>* notices = nullptr)
        : store_(store), keyPath_(keyPath), notices_(notices) {}

    bool Int32(const std::string& name, int32_t& field) const {
        SettingsValue value;
        return Query(name, value, SettingsValueType::Dword) &&
               Usable(name, value, ReadValueInt32(value, field));
    }
    bool Double(const std::string& name, double& field) const {
        SettingsValue value;
        return Query(name, value, SettingsValueType::Binary) &&
               Usable(name, value, ReadValueDouble(value, field));
    }
    bool Mask(const std::string& name, MotorBits& field) const {
        SettingsValue value;
        uint8_t bytes[2];
        if (!Query(name, value, SettingsValueType::Binary) ||
            !Usable(name, value, ReadValueBytes(value, bytes, 2))) {
            return false;
        }
        field = MotorBits{bytes[0], bytes[1]};
        return true;
    }
    bool Text(const std::string& name, std::string& field) const {
        SettingsValue value;
        return Query(name, value, SettingsValueType::String) &&
               Usable(name, value, ReadValueText(value, field));
    }
    bool Name(const std::string& name, std::string& field,
              size_t maxLength = kStringBufferSize - 1) const {
        SettingsValue value;
        return Query(name, value, SettingsValueType::String) &&
               Usable(name, value, StoredName(value, field, maxLength));
    }

private:
    // The value when it is there and of the field's kind (or raw bytes).
    bool Query(const std::string& name, SettingsValue& value, SettingsValueType kind) const {
        if (!store_.QueryValue(keyPath_, name, value)) return false;
        if (notices_ == nullptr || value.type == kind || value.type == SettingsValueType::Binary)
            return true;
        Tell(name + " is stored as " + TypeName(value.type) + ", not as " + TypeName(kind));
        return false;
    }
    bool Usable(const std::string& name, const SettingsValue& value, bool read) const {
        if (!read && notices_ != nullptr) {
            Tell(name + " holds " + std::to_string(value.data.size()) +
                 " bytes, too few or too many for its setting");
        }
        return read;
    }
    void Tell(const std::string& problem) const {
        notices_->push_back(store_.Location() + ": " + problem + "; it is ignored");
    }

    const SettingsStore& store_;
    const std::string keyPath_;
    std::vector<std::string>* notices_;
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
                          SettingsValue::String(Cp1251ToUtf8(device.TermometerName[i]))});
    }
    return values;
}

bool SameValue(const SettingsValue& a, const SettingsValue& b) {
    return a.type == b.type && a.data == b.data;
}

}  // namespace

// A program saves only the values it changed itself since it read them. The store is shared:
// the desktop program, kavrictl, the INDI driver and the Windows focuser driver may each have
// stored a value since this device loaded, and writing back the device's older copy would
// undo that. So a field equal to what the device last read or wrote is not written at all; a
// value the store lacked at load is written with its default only while the store still lacks
// it. An unchanged name is therefore also left in whatever form it was stored (windows-1251
// bytes of an older version, a letter the code page lacks).
bool WheelFocuserDevice::SaveRegistry() {
    if (!store.CreateKey(DriverKey)) return false;
    std::vector<std::pair<KnownSetting*, SettingsValue>> written;
    // Individual write failures are not fatal: every value gets its chance.
    for (DriverValue& entry : DriverValues(*this)) {
        KnownSetting& known = knownSettings[entry.name];
        if (SameValue(known.value, entry.value)) {
            SettingsValue now;
            if (known.stored || store.QueryValue(DriverKey, entry.name, now)) continue;
        }
        if (store.SetValue(DriverKey, entry.name, entry.value))
            written.emplace_back(&known, std::move(entry.value));
    }
    if (!store.Flush()) return false;
    for (auto& [known, value] : written) *known = KnownSetting{std::move(value), true};
    return true;
}

bool WheelFocuserDevice::LoadRegistry() {
    // What the store could not read (damaged lines, an unreadable file) is told once, here.
    for (const std::string& notice : store.TakeNotices()) log.Print("%s\r\n", notice.c_str());
    // The key is created when missing, so a first run leaves an empty key behind.
    if (!store.CreateKey(DriverKey)) return false;
    std::vector<std::string> notices;
    const ValueReader read(store, DriverKey, &notices);
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
    for (const std::string& notice : notices) log.Print("%s\r\n", notice.c_str());
    // What was read is what a save compares with. A missing value leaves its field at the
    // default; saving that default later fills the gap without replacing what another program
    // may store meanwhile.
    knownSettings.clear();
    for (const DriverValue& entry : DriverValues(*this)) {
        SettingsValue stored;
        const bool present = store.QueryValue(DriverKey, entry.name, stored);
        knownSettings[entry.name] = KnownSetting{entry.value, present};
        if (!present) store.AssumeMissingValue(DriverKey, entry.name, entry.value);
    }
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
