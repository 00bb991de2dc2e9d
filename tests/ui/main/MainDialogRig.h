// A main dialog over a real device, connected through a pseudo-terminal to the in-process
// controller emulator mapped as COM1. COM2 names a device that does not exist.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "device/ManualTimerService.h"
#include "device/PortNaming.h"
#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "sim/Emulator.h"
#include "support/TempDir.h"
#include "ui/common/DialogBuilder.h"
#include "ui/common/ReportListView.h"
#include "ui/main/ControlDialog.h"
#include "ui/main/ControlDialogTemplate.h"

namespace kavri::ui::test {

class MainDialogRig : public ::testing::Test {
protected:
    // Starts the emulator and builds device and dialog; the dialog is shown, not connected.
    void Start(sim::EmulatorOptions options = {}) {
        StartEmulator(options);
        device_ = std::make_unique<WheelFocuserDevice>(store_, timers_);
        device_->log.SetSink([this](const char* line) { log_.emplace_back(line); });
        device_->settings.ComPort = 1;
        dialog_ = std::make_unique<ControlDialog>(device_.get());
        dialog_->SetWarningSink([this](const QString& text) { warnings_ << text; });
        dialog_->show();
        QApplication::setActiveWindow(dialog_.get());
    }

    // A new emulator on COM1 (a controller plugged in again); COM2 names no device.
    void StartEmulator(sim::EmulatorOptions options = {}) {
        if (emulator_) emulator_->Stop();
        options.fast = true;
        options.log = [](const std::string&) {};
        emulator_ = std::make_unique<sim::Emulator>(options);
        std::string error;
        ASSERT_TRUE(emulator_->Start(&error)) << error;
        PortNaming naming(dir_.Path());
        naming.SetDevice(1, emulator_->SlavePath());
        naming.SetDevice(2, dir_.File("no-such-port"));
        SetActivePortNaming(naming);
    }

    void TearDown() override {
        dialog_.reset();
        device_.reset();
        SetActivePortNaming(std::nullopt);
        if (emulator_) emulator_->Stop();
    }

    void Connect() {
        dialog_->OnConnect();
        ASSERT_NE(device_->port, nullptr) << "the emulator did not answer";
    }

    QWidget* Control(int id) const { return FindControl(*dialog_, id); }
    bool Enabled(int id) const { return Control(id)->isEnabled(); }
    ReportListView* List() const { return FindControlAs<ReportListView>(*dialog_, 3018); }
    QLineEdit* Edit(int id) const { return FindControlAs<QLineEdit>(*dialog_, id); }
    QLineEdit* CellEditor() const { return FindControlAs<QLineEdit>(*dialog_, 4567); }

    // The centre of a list cell, in the list's viewport coordinates.
    QPoint CellCentre(int row, int column) const { return List()->CellRect(row, column).center(); }

    // Log lines ending with `tail` (the log puts a time before each line).
    int LogCount(const std::string& tail) const {
        int count = 0;
        for (const std::string& line : log_) {
            if (line.size() >= tail.size() &&
                line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
                ++count;
        }
        return count;
    }

    static std::string Hex(const void* client) {
        char text[32];
        std::snprintf(text, sizeof text, "0x%zx", reinterpret_cast<size_t>(client));
        return text;
    }

    int Sent(const char* keyword) const { return emulator_->CommandCount(keyword); }

    kavri::test::TempDir dir_;
    MemorySettingsStore store_;
    ManualTimerService timers_;
    std::unique_ptr<sim::Emulator> emulator_;
    std::unique_ptr<WheelFocuserDevice> device_;
    std::unique_ptr<ControlDialog> dialog_;
    std::vector<std::string> log_;
    QStringList warnings_;
};

}  // namespace kavri::ui::test
