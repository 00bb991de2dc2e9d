// Shared set-up of the connection and temperature-log tests: a device on a manual timer, a
// private port map in a temporary directory, and scripts of a controller's probe answers.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "device/ManualTimerService.h"
#include "device/PortNaming.h"
#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "support/ScriptedPeer.h"
#include "support/TempDir.h"

namespace kavri::test {

// A configuration image with recognisable filter rows and `thermometers` thermometers.
inline ControllerConfig SampleImage(int thermometers = 2) {
    ControllerConfig image{};
    image.filterCount = 5;
    image.thermometerCount = static_cast<uint8_t>(thermometers);
    const char* names[kConfigFilterSlots] = {"L", "Red", "Green", "Blue", "Halpha7n",
                                             "",  "",    "",      "",     "Ten"};
    for (int i = 0; i < kConfigFilterSlots; ++i) {
        image.filterWheelPositions[i] = static_cast<int16_t>(100 * i);
        image.filterFocuserPositions[i] = static_cast<int16_t>(20000);
        std::strncpy(image.filterNames[i], names[i], kConfigNameLength);
    }
    return image;
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

inline Bytes ImageBytes(const ControllerConfig& image) {
    return Bytes(image.data(), image.data() + kConfigSize);
}

inline Bytes ReadEeRequest() {
    Bytes request{'F', 'W', 'r', 'e', 'a', 'd', 'E', 'E'};
    request.push_back(0);
    request.push_back(kConfigSize);
    return request;
}

// The microstep table the scripted controllers answer "FWzm" with.
inline Bytes MicrostepReply() {
    return Bytes{4, 10, 20, 30, 40};
}

// The answers of a controller with both mechanisms: filter "3", focuser at -1000.
inline void ScriptFullProbe(ScriptedPeer& peer, const ControllerConfig& image) {
    peer.Expect("FWFILTER").Reply("3");
    peer.Expect("FWfocus").Reply(Bytes{0x18, 0xFC});
    peer.Expect(ReadEeRequest()).Reply(ImageBytes(image));
    peer.Expect("FWCOUNT").Reply("5");
    peer.Expect("FWzm").Reply(MicrostepReply());
}

class DeviceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        config_ = std::filesystem::path(dir_.Path()) / "kavri";
        std::filesystem::create_directories(config_ / "ports");
        // Every number points at a missing device unless a test links it, so the search never
        // touches a real serial port of the machine running the tests.
        for (int n = kFirstComPort; n <= kLastComPort; ++n) Link(n, dir_.File("absent"));
        SetActivePortNaming(PortNaming(config_));
        device_ = std::make_unique<WheelFocuserDevice>(store_, timers_);
    }
    void TearDown() override {
        device_.reset();
        SetActivePortNaming(std::nullopt);
    }

    void Link(int number, const std::string& target) {
        auto link = config_ / "ports" / ("com" + std::to_string(number));
        std::filesystem::remove(link);
        std::filesystem::create_symlink(target, link);
    }

    TempDir dir_;
    std::filesystem::path config_;
    MemorySettingsStore store_;
    ManualTimerService timers_;
    std::unique_ptr<WheelFocuserDevice> device_;
};

}  // namespace kavri::test
