// SPDX-License-Identifier: GPL-3.0-or-later
// The main dialog's behaviour in a fake window (FakeControls) over a real device, connected
// through a pseudo-terminal to the in-process controller emulator mapped as COM1; COM2 names a
// device that does not exist. Messages and file prompts are kept in `desktop_`.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "FakeControls.h"
#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "platform/ManualTimerService.h"
#include "sim/Emulator.h"
#include "support/TempDir.h"
#include "ui/dialogs/ControlDialog.h"
#include "ui/dialogs/ControlDialogTemplate.h"

namespace kavri::ui::test {

namespace Id = ControlIds;

class DialogRig : public ::testing::Test {
protected:
    // A new emulator, device and opened dialog, not connected.
    void Start(sim::EmulatorOptions options = {}) {
        DialogRig::TearDown();
        StartEmulator(options);
        device_ = std::make_unique<WheelFocuserDevice>(store_, timers_);
        device_->log.SetSink([](const char*) {});  // no protocol log on the test output
        device_->settings.ComPort = 1;
        dialog_ = std::make_unique<ControlDialog>(*device_);
        window_ = std::make_unique<FakeControls>(ControlDialogTemplate(), desktop_);
        window_->Open(*dialog_);
    }

    // A new emulator on COM1, as a controller plugged in again.
    void StartEmulator(sim::EmulatorOptions options = {}) {
        if (emulator_) emulator_->Stop();
        options.fast = true;
        options.log = [](const std::string&) {};
        emulator_ = std::make_unique<sim::Emulator>(options);
        std::string error;
        ASSERT_TRUE(emulator_->Start(&error)) << error;
        // COM1 is the emulator and COM2 a device that is gone, in this test's own port map.
        setenv("XDG_CONFIG_HOME", dir_.Path().c_str(), 1);
        const std::filesystem::path ports = std::filesystem::path(dir_.Path()) / "kavri/ports";
        std::filesystem::create_directories(ports);
        for (const auto& [com, target] : {std::pair{"com1", emulator_->SlavePath()},
                                          std::pair{"com2", dir_.File("no-such-port")}}) {
            std::filesystem::remove(ports / com);
            std::filesystem::create_symlink(target, ports / com);
        }
    }

    void TearDown() override {
        window_.reset();
        dialog_.reset();
        device_.reset();
        if (emulator_) emulator_->Stop();
    }

    void Connect() {
        window_->Click(Id::Connect);
        ASSERT_NE(device_->port, nullptr) << "the emulator did not answer";
    }
    void StartConnected(sim::EmulatorOptions options = {}) {
        Start(options);
        Connect();
    }

    FakeControls& W() const { return *window_; }
    std::string Text(int id) const { return window_->Text(id); }
    bool Enabled(int id) const { return window_->Enabled(id); }
    int Rows() const { return window_->ListRowCount(Id::FilterList); }
    std::string Cell(int row, int column) const {
        return window_->ListCell(Id::FilterList, row, column);
    }
    Point CellCentre(int row, int column) const {
        return window_->CellCentre(Id::FilterList, row, column);
    }
    void Tick() { window_->Tick(ControlDialog::kRefreshTimer); }
    int Sent(const char* keyword) const { return emulator_->CommandCount(keyword); }
    const std::vector<ShownMessage>& Messages() const { return desktop_.messages; }
    // The last message's text; empty without one.
    std::string LastMessage() const {
        return desktop_.messages.empty() ? std::string() : desktop_.messages.back().text;
    }
    int MessageCount() const { return static_cast<int>(desktop_.messages.size()); }

    kavri::test::TempDir dir_;
    MemorySettingsStore store_;
    ManualTimerService timers_;
    FakeDesktop desktop_;
    std::unique_ptr<sim::Emulator> emulator_;
    std::unique_ptr<WheelFocuserDevice> device_;
    std::unique_ptr<ControlDialog> dialog_;
    std::unique_ptr<FakeControls> window_;
};

}  // namespace kavri::ui::test
