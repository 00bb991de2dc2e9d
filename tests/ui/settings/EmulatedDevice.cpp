#include "EmulatedDevice.h"

#include <gtest/gtest.h>

#include "device/PortNaming.h"

namespace kavri::test {

namespace {

sim::EmulatorOptions FastOptions() {
    sim::EmulatorOptions options;
    options.fast = true;
    options.log = [](const std::string&) {};
    return options;
}

}  // namespace

EmulatedDevice::EmulatedDevice(const sim::Image* image, std::vector<sim::Fault> connectFaults)
    : emulator(FastOptions()),
      prompts_([this](const ui::MessageRequest& request) { messages.push_back(request); }) {
    std::string error;
    EXPECT_TRUE(emulator.Start(&error)) << error;
    if (image != nullptr) emulator.SetImage(*image);
    for (const sim::Fault& fault : connectFaults) emulator.AddFault(fault);
    PortNaming naming(config_.Path());
    naming.SetDevice(1, emulator.SlavePath());
    SetActivePortNaming(naming);

    device = std::make_unique<WheelFocuserDevice>(store, timers);
    device->SetSink([this](const char* line) { log.emplace_back(line); });
    device->settings.ComPort = 1;
    EXPECT_TRUE(device->ConnectMulti(&mainDialog));
    emulator.ClearFaults();
}

EmulatedDevice::~EmulatedDevice() {
    device.reset();
    SetActivePortNaming(std::nullopt);
    emulator.Stop();
}

int EmulatedDevice::LogLines(const std::string& text) const {
    int count = 0;
    for (const std::string& line : log) count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}

}  // namespace kavri::test
