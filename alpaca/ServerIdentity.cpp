// SPDX-License-Identifier: GPL-3.0-or-later
#include "alpaca/ServerIdentity.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "device/SettingsStore.h"

namespace kavri::alpaca {

namespace {

constexpr const char* kUniqueIdNames[kDeviceKinds] = {"FocuserUniqueID", "FilterWheelUniqueID"};

// A random UUID (version 4), as Alpaca clients expect a UniqueID to look.
std::string NewUniqueId() {
    std::random_device entropy;
    std::mt19937_64 generator((uint64_t{entropy()} << 32) ^ entropy());
    uint8_t bytes[16];
    for (int i = 0; i < 16; i += 8) {
        const uint64_t word = generator();
        for (int b = 0; b < 8; ++b) bytes[i + b] = static_cast<uint8_t>(word >> (8 * b));
    }
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7],
                  bytes[8], bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14],
                  bytes[15]);
    return text;
}

// A stored UniqueID is kept as it is when it is printable text of sensible length, so an ID a
// user copied from another installation stays.
bool Usable(const std::string& id) {
    return !id.empty() && id.size() <= 64 &&
           std::all_of(id.begin(), id.end(), [](unsigned char c) { return c > 0x20 && c < 0x7F; });
}

}  // namespace

std::array<std::string, kDeviceKinds> LoadUniqueIds(SettingsStore& store, std::string& problem) {
    std::array<std::string, kDeviceKinds> ids;
    bool created = false;
    for (int d = 0; d < kDeviceKinds; ++d) {
        SettingsValue value;
        if (store.QueryValue(kAlpacaKey, kUniqueIdNames[d], value) &&
            value.type == SettingsValueType::String && !value.data.empty()) {
            ids[d].assign(value.data.begin(), value.data.end() - 1);  // without the NUL
        }
        if (Usable(ids[d])) continue;
        ids[d] = NewUniqueId();
        created = true;
    }
    if (!created) return ids;
    bool saved = store.CreateKey(kAlpacaKey);
    for (int d = 0; d < kDeviceKinds && saved; ++d) {
        saved = store.SetValue(kAlpacaKey, kUniqueIdNames[d], SettingsValue::String(ids[d]));
    }
    if (!saved || !store.Flush()) {
        problem = "The devices' UniqueIDs could not be saved in " + store.Location() +
                  ": clients will see new devices at the next start";
    }
    return ids;
}

const char* DevicePath(DeviceKind device) {
    return device == DeviceKind::Focuser ? "focuser" : "filterwheel";
}

const char* DeviceType(DeviceKind device) {
    return device == DeviceKind::Focuser ? "Focuser" : "FilterWheel";
}

const char* DeviceName(DeviceKind device) {
    return device == DeviceKind::Focuser ? "Kavri Focuser" : "Kavri Filter Wheel";
}

const char* DeviceDescription(DeviceKind device) {
    return device == DeviceKind::Focuser
               ? "The focuser of the Kavri filter wheel and focuser controller"
               : "The filter wheel of the Kavri filter wheel and focuser controller";
}

int InterfaceVersion(DeviceKind device) {
    return device == DeviceKind::Focuser ? 4 : 3;
}

const char* ServerVersion() {
    return KAVRI_VERSION;
}

std::string DriverVersion() {
    const std::string version = KAVRI_VERSION;
    const size_t first = version.find('.');
    const size_t second = first == std::string::npos ? first : version.find('.', first + 1);
    return version.substr(0, second);
}

}  // namespace kavri::alpaca
