// The main dialog's settings commands: the settings dialogs run with the refresh paused and
// the dialog refreshed afterwards; settings files saved and loaded through the file prompts,
// with failures told to the user.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QPushButton>
#include <QTimer>
#include <fstream>
#include <functional>

#include "sim/ImageLayout.h"
#include "ui/common/UpDownControl.h"
#include "ui/main/MainDialogRig.h"
#include "ui/settings/FocuserSettingsDialog.h"
#include "ui/settings/SettingsTemplates.h"
#include "ui/settings/UserPrompts.h"
#include "ui/settings/WheelSettingsDialog.h"

namespace kavri::ui::test {
namespace {

class SettingsCommandsTest : public MainDialogRig {
protected:
    void SetUp() override {
        Start();
        Connect();
    }

    // Runs `action` on the modal dialog of type T as soon as it is up; false when none came.
    template <typename T>
    void WhenModal(std::function<void(T&)> action) {
        auto seen = std::make_shared<bool>(false);
        QTimer::singleShot(0, [=] {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
                *seen = true;
                action(*dialog);
            } else if (QWidget* other = QApplication::activeModalWidget()) {
                other->close();
            }
        });
        pending_.push_back(seen);
    }
    bool LastModalSeen() const { return !pending_.empty() && *pending_.back(); }

    std::vector<MessageRequest> messages_;
    std::vector<FileRequest> fileRequests_;
    QString answer_;  // what the file prompt answers; empty = cancelled
    ScopedPromptHandlers prompts_{[this](const MessageRequest& m) { messages_.push_back(m); },
                                  [this](const FileRequest& f) {
                                      fileRequests_.push_back(f);
                                      return answer_;
                                  }};

private:
    std::vector<std::shared_ptr<bool>> pending_;
};

TEST_F(SettingsCommandsTest, WheelSettingsPauseTheRefreshAndShowTheNewFilterCount) {
    ASSERT_EQ(List()->RowCount(), 5);
    bool refreshDuringDialog = true;
    WhenModal<WheelSettingsDialog>([&](WheelSettingsDialog& d) {
        refreshDuringDialog = dialog_->RefreshEnabled();
        auto* spin = FindControlAs<UpDownControl>(d, wheel_ids::kFilterCountSpin);
        spin->Click(true);
        spin->Click(true);
        d.OnOK();
    });
    QTest::mouseClick(FindControlAs<QPushButton>(*dialog_, 3024), Qt::LeftButton);
    EXPECT_TRUE(LastModalSeen());
    EXPECT_FALSE(refreshDuringDialog);
    EXPECT_TRUE(dialog_->RefreshEnabled());
    EXPECT_EQ(List()->RowCount(), 7);
    // The settings dialog released only its own identity; the main dialog keeps the port.
    EXPECT_EQ(LogCount(") = skip\r\n"), 1);
    EXPECT_EQ(LogCount(") = Disconnect\r\n"), 0);
    EXPECT_NE(device_->port, nullptr);
    EXPECT_TRUE(Enabled(3024));
}

TEST_F(SettingsCommandsTest, FocuserSettingsCancelledWriteNothing) {
    bool refreshDuringDialog = true;
    WhenModal<FocuserSettingsDialog>([&](FocuserSettingsDialog& d) {
        refreshDuringDialog = dialog_->RefreshEnabled();
        d.reject();
    });
    QTest::mouseClick(FindControlAs<QPushButton>(*dialog_, 3025), Qt::LeftButton);
    EXPECT_TRUE(LastModalSeen());
    EXPECT_FALSE(refreshDuringDialog);
    EXPECT_TRUE(dialog_->RefreshEnabled());
    EXPECT_EQ(Sent("FWwriteEE"), 0);
}

TEST_F(SettingsCommandsTest, SaveAsksForASettingsFileAndWritesIt) {
    answer_ = QString::fromStdString(dir_.File("night.fws"));
    dialog_->OnSave();
    ASSERT_EQ(fileRequests_.size(), 1u);
    EXPECT_EQ(fileRequests_[0].mode, FileDialogMode::Save);
    EXPECT_EQ(fileRequests_[0].filter, "Settings File (*.fws)");
    EXPECT_EQ(fileRequests_[0].defaultSuffix, "fws");
    EXPECT_EQ(fileRequests_[0].parent, dialog_.get());
    EXPECT_TRUE(messages_.empty());
    std::ifstream file(dir_.File("night.fws"), std::ios::binary | std::ios::ate);
    ASSERT_TRUE(file.good());
    EXPECT_GT(static_cast<long>(file.tellg()), 144 + 32);
    EXPECT_TRUE(dialog_->RefreshEnabled());
}

TEST_F(SettingsCommandsTest, AFailedSaveIsToldToTheUser) {
    std::ofstream(dir_.File("plain")) << "x";
    answer_ = QString::fromStdString(dir_.File("plain") + "/night.fws");  // below a file
    dialog_->OnSave();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "Save failed");
    EXPECT_EQ(messages_[0].caption, "Save Failed");
}

TEST_F(SettingsCommandsTest, LoadSendsTheFileAndRefreshesTheDialogButKeepsThePortChoice) {
    answer_ = QString::fromStdString(dir_.File("night.fws"));
    dialog_->OnSave();
    // The controller's filters change after the save; loading brings the saved ones back.
    sim::Image changed = emulator_->GetImage();
    sim::SetFilterName(changed, 0, "Other");
    emulator_->SetImage(changed);
    device_->filters.clear();
    const int port = dialog_->PortIndex();

    dialog_->OnLoad();
    ASSERT_EQ(fileRequests_.size(), 2u);
    EXPECT_EQ(fileRequests_[1].mode, FileDialogMode::Open);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(sim::FilterName(emulator_->GetImage(), 0), "L");
    EXPECT_EQ(List()->RowCount(), 5);
    EXPECT_EQ(dialog_->PortIndex(), port);
    EXPECT_EQ(FindControlAs<QComboBox>(*dialog_, 3006)->currentIndex(), port);
}

TEST_F(SettingsCommandsTest, ARefusedLoadShowsLoadFailedWithTheReasonAndStillRefreshes) {
    answer_ = QString::fromStdString(dir_.File("night.fws"));
    dialog_->OnSave();
    std::ofstream(dir_.File("README")) << "# Kavri Control\n" << std::string(300, '-');
    const struct {
        std::string file;
        bool refusedByController;
        const char* text;
    } cases[] = {
        {"night.fws", true, "Load failed\n\nthe controller did not accept the configuration image"},
        {"README", false, "Load failed\n\nnot a settings file: filterCount 32"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        messages_.clear();
        if (c.refusedByController) emulator_->AddFault({sim::FaultKind::kWriteEENak, "FWwriteEE"});
        answer_ = QString::fromStdString(dir_.File(c.file));
        List()->clear();
        dialog_->OnLoad();
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].text, c.text);
        EXPECT_EQ(messages_[0].caption, "Load Failed");
        EXPECT_EQ(messages_[0].icon, MessageIcon::None);
        EXPECT_EQ(List()->RowCount(), 5);
        EXPECT_TRUE(dialog_->RefreshEnabled());
    }
    EXPECT_EQ(Sent("FWwriteEE"), 1);  // the README never reached the controller
}

TEST_F(SettingsCommandsTest, CancellingTheLoadPromptDoesNothingElse) {
    answer_.clear();
    List()->clear();
    dialog_->OnLoad();
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(List()->RowCount(), 0);  // not refreshed
    EXPECT_EQ(Sent("FWwriteEE"), 0);
    EXPECT_TRUE(dialog_->RefreshEnabled());
}

// The real file dialog, answered by choosing a name typed without extension.
TEST(SettingsFilePromptTest, ANameWithoutExtensionGetsFws) {
    kavri::test::TempDir dir;
    QTimer::singleShot(0, [&] {
        auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(files, nullptr);
        EXPECT_EQ(files->nameFilters(), QStringList{"Settings File (*.fws)"});
        files->setDirectory(QString::fromStdString(dir.Path()));
        files->selectFile(QStringLiteral("night"));
        static_cast<QDialog*>(files)->accept();  // public there
    });
    const QString path = AskFileName(
        {nullptr, FileDialogMode::Save, QStringLiteral("Settings File (*.fws)"), "fws"});
    EXPECT_EQ(path, QString::fromStdString(dir.File("night.fws")));
}

}  // namespace
}  // namespace kavri::ui::test
