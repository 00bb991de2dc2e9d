// A device connected to the in-process emulator as the main dialog would hold it, with its
// diagnostic lines and the messages shown to the user captured for the test.
#pragma once

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "device/ManualTimerService.h"
#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "sim/Emulator.h"
#include "support/TempDir.h"
#include "ui/settings/UserPrompts.h"

namespace kavri::test {

class EmulatedDevice {
public:
    // Starts the emulator with `image` (the factory image when empty) and connects the device
    // through COM1 with the main dialog's identity as the first client.
    explicit EmulatedDevice(const sim::Image* image = nullptr,
                            std::vector<sim::Fault> connectFaults = {});
    ~EmulatedDevice();

    bool Connected() const { return device->port != nullptr; }
    // Log lines containing `text`.
    int LogLines(const std::string& text) const;

    sim::Emulator emulator;
    MemorySettingsStore store;
    ManualTimerService timers;
    std::unique_ptr<WheelFocuserDevice> device;
    std::vector<std::string> log;
    std::vector<ui::MessageRequest> messages;
    const int mainDialog = 0;  // its address is the main dialog's client identity

private:
    TempDir config_;
    ui::ScopedPromptHandlers prompts_;
};

}  // namespace kavri::test
