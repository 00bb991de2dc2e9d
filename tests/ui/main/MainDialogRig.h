// A main dialog over a real device, connected through a pseudo-terminal to the in-process
// controller emulator mapped as COM1; COM2 names a device that does not exist. The dialog's
// warnings, the settings code's messages and the file prompts are answered here and kept.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
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
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/main/ControlDialog.h"
#include "ui/settings/UserPrompts.h"

namespace kavri::ui::test {

namespace Id = ControlIds;

template <typename T = QWidget>
T* Find(const QWidget& dialog, int id) {
    T* control = FindControlAs<T>(dialog, id);
    EXPECT_NE(control, nullptr) << "control " << id;
    return control;
}

inline void Press(const QWidget& dialog, int id) {
    QTest::mouseClick(Find(dialog, id), Qt::LeftButton);
}

class MainDialogRig : public ::testing::Test {
protected:
    // A new emulator, device and shown dialog, not connected.
    void Start(sim::EmulatorOptions options = {}) {
        dialog_.reset();
        device_.reset();
        StartEmulator(options);
        device_ = std::make_unique<WheelFocuserDevice>(store_, timers_);
        device_->log.SetSink([](const char*) {});  // no protocol log on the test output
        device_->settings.ComPort = 1;
        dialog_ = std::make_unique<ControlDialog>(device_.get());
        dialog_->SetWarningSink([this](const QString& text) { warnings_ << text; });
        dialog_->show();
        QApplication::setActiveWindow(dialog_.get());
    }

    // A new emulator on COM1, as a controller plugged in again.
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
    void StartConnected(sim::EmulatorOptions options = {}) {
        Start(options);
        Connect();
    }

    QWidget* Control(int id) const { return Find(*dialog_, id); }
    bool Enabled(int id) const { return Control(id)->isEnabled(); }
    QLineEdit* Edit(int id) const { return Find<QLineEdit>(*dialog_, id); }
    QComboBox* PortCombo() const { return Find<QComboBox>(*dialog_, Id::PortCombo); }
    ReportListView* List() const { return Find<ReportListView>(*dialog_, Id::FilterList); }
    QLineEdit* CellEditor() const { return FindControlAs<QLineEdit>(*dialog_, Id::CellEditor); }
    QPoint CellCentre(int row, int column) const { return List()->CellRect(row, column).center(); }
    int Sent(const char* keyword) const { return emulator_->CommandCount(keyword); }

    kavri::test::TempDir dir_;
    MemorySettingsStore store_;
    ManualTimerService timers_;
    std::unique_ptr<sim::Emulator> emulator_;
    std::unique_ptr<WheelFocuserDevice> device_;
    std::unique_ptr<ControlDialog> dialog_;
    QStringList warnings_;
    std::vector<MessageRequest> messages_;
    std::vector<FileRequest> fileRequests_;
    QString answer_;  // what the file prompt answers; empty: cancelled
    ScopedPromptHandlers prompts_{[this](const MessageRequest& m) { messages_.push_back(m); },
                                  [this](const FileRequest& f) {
                                      fileRequests_.push_back(f);
                                      return answer_;
                                  }};
};

}  // namespace kavri::ui::test
