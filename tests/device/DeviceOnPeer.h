// SPDX-License-Identifier: GPL-3.0-or-later
// The device tests' set-up: a device on a manual timer whose log lines are collected, a port
// map of its own (no real serial port is ever touched), a scripted controller on a real
// pseudo-terminal.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "platform/ManualTimerService.h"
#include "support/ScriptedPeer.h"
#include "support/TempDir.h"
#include "transport/PortNaming.h"

namespace kavri::test {

using namespace std::string_literals;

inline Bytes Concat(std::string_view text, const Bytes& tail) {
    Bytes bytes(text.begin(), text.end());
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

// A configuration image with recognisable filter rows and `thermometers` thermometers.
inline ControllerConfig SampleImage(int thermometers = 2) {
    ControllerConfig image{};
    image.filterCount = 5;
    image.thermometerCount = static_cast<uint8_t>(thermometers);
    const char* names[kConfigFilterSlots] = {"L", "Red", "Green", "Blue", "Halpha7n",
                                             "",  "",    "",      "",     "Ten"};
    for (int i = 0; i < kConfigFilterSlots; ++i)
        std::strncpy(image.filterNames[i], names[i], kConfigNameLength);
    return image;
}
inline Bytes ImageBytes(const ControllerConfig& image) {
    return Bytes(image.data(), image.data() + kConfigSize);
}
inline const std::string kReadImage("FWreadEE\x00\x90", 10);  // the whole image

// The probe of a controller with both mechanisms: filter "3", focuser at -1000, a microstep
// table of 4 entries.
inline void ScriptFullProbe(ScriptedPeer& peer, const ControllerConfig& image = SampleImage()) {
    peer.Expect("FWFILTER").Reply("3").Expect("FWfocus").Reply(Bytes{0x18, 0xFC});
    peer.Expect(kReadImage).Reply(ImageBytes(image)).Expect("FWCOUNT").Reply("5");
    peer.Expect("FWzm").Reply(Bytes{4, 10, 20, 30, 40});
}

class DeviceTestBase : public ::testing::Test {
protected:
    void SetUp() override {
        config_ = std::filesystem::path(dir_.Path()) / "kavri";
        std::filesystem::create_directories(config_ / "ports");
        for (int n = kFirstComPort; n <= kLastComPort; ++n) Link(n, dir_.File("absent"));
        setenv("XDG_CONFIG_HOME", dir_.Path().c_str(), 1);  // config_ is its kavri folder
        device = std::make_unique<WheelFocuserDevice>(store, timers);
        device->SetSink([this](const char* line) {
            const std::string text(line);
            sinkLines.push_back(text.substr(text.find(" : ") + 3));  // without the time stamp
        });
    }
    void TearDown() override { device.reset(); }
    void Link(int number, const std::string& target) {
        const auto link = config_ / "ports" / ("com" + std::to_string(number));
        std::filesystem::remove(link);
        std::filesystem::create_symlink(target, link);
    }
    void GiveFilters(int rows) {  // rows named F0, F1, ... at position 0
        device->filters.assign(static_cast<size_t>(rows), FilterEntry{});
        for (int i = 0; i < rows; ++i)
            std::strcpy(device->filters[i].name, ("F" + std::to_string(i)).c_str());
    }
    std::vector<std::string> LinesWith(const std::string& text) const {  // log lines with it
        std::vector<std::string> found;
        for (const std::string& line : sinkLines)
            if (line.find(text) != std::string::npos) found.push_back(line);
        return found;
    }

    TempDir dir_;
    std::filesystem::path config_;
    ScriptedPeer peer;  // before the device, which closes its port first
    MemorySettingsStore store;
    ManualTimerService timers;
    std::vector<std::string> sinkLines;
    std::unique_ptr<WheelFocuserDevice> device;
};

// The device with its port open on the scripted controller, for the command tests.
class DeviceOnPeer : public DeviceTestBase {
protected:
    void SetUp() override {
        DeviceTestBase::SetUp();
        ASSERT_NE(device->port = OpenSerialPort(peer.SlavePath(), 9600), nullptr);
    }
};

}  // namespace kavri::test
