// The main dialog's settings commands: the settings dialogs run with the refresh paused and
// the dialog refreshed afterwards; settings files saved and loaded through the file prompts,
// with failures told to the user.
#include <QFileDialog>
#include <QTimer>
#include <fstream>

#include "sim/ImageLayout.h"
#include "ui/common/UpDownControl.h"
#include "ui/main/MainDialogRig.h"
#include "ui/settings/SettingsTemplates.h"
#include "ui/settings/WheelSettingsDialog.h"

namespace kavri::ui::test {
namespace {

class SettingsCommandsTest : public MainDialogRig {
protected:
    void SetUp() override {
        Start();
        Connect();
    }
};

TEST_F(SettingsCommandsTest, SettingsDialogsPauseTheRefreshAndRefreshTheDialogAfterwards) {
    for (int button : {Id::WheelSettings, Id::FocuserSettings}) {
        SCOPED_TRACE(button);
        bool seen = false, refreshDuringDialog = true;
        QTimer::singleShot(0, [&] {
            auto* settings = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (settings == nullptr) return;
            seen = true;
            refreshDuringDialog = dialog_->RefreshEnabled();
            if (auto* wheel = qobject_cast<WheelSettingsDialog*>(settings)) {
                auto* spin = FindControlAs<UpDownControl>(*wheel, wheel_ids::kFilterCountSpin);
                spin->Click(true);
                spin->Click(true);
                wheel->OnOK();
            } else {
                settings->reject();  // the focuser settings: cancelled
            }
        });
        List()->clear();  // filled again afterwards, with the wheel's new count
        Press(*dialog_, button);
        EXPECT_TRUE(seen);
        EXPECT_FALSE(refreshDuringDialog);
        EXPECT_TRUE(dialog_->RefreshEnabled());
        EXPECT_EQ(List()->RowCount(), 7);
    }
    EXPECT_EQ(Sent("FWwriteEE"), 1);
}

// Saving asks for a settings file and tells a failure; loading sends the file's image back,
// refreshes the dialog but keeps the port chosen here; a cancelled prompt does nothing.
TEST_F(SettingsCommandsTest, SettingsFilesAreSavedAndLoadedThroughThePrompts) {
    answer_ = QString::fromStdString(dir_.File("night.fws"));
    dialog_->OnSave();
    ASSERT_EQ(fileRequests_.size(), 1u);
    EXPECT_EQ(fileRequests_[0].mode, FileDialogMode::Save);
    EXPECT_EQ(fileRequests_[0].filter, "Settings File (*.fws)");
    EXPECT_EQ(fileRequests_[0].defaultSuffix, "fws");
    EXPECT_EQ(fileRequests_[0].parent, dialog_.get());
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(dialog_->RefreshEnabled());
    std::ofstream(dir_.File("plain")) << "x";
    answer_ = QString::fromStdString(dir_.File("plain") + "/night.fws");  // below a file
    dialog_->OnSave();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "Save failed");
    EXPECT_EQ(messages_[0].caption, "Save Failed");

    messages_.clear();
    answer_.clear();
    List()->clear();
    dialog_->OnLoad();
    EXPECT_EQ(List()->RowCount(), 0);
    EXPECT_EQ(Sent("FWwriteEE"), 0);
    sim::Image changed = emulator_->GetImage();  // the controller's filters change after the save
    sim::SetFilterName(changed, 0, "Other");
    emulator_->SetImage(changed);
    device_->settings.ComPort = 4;
    answer_ = QString::fromStdString(dir_.File("night.fws"));
    dialog_->OnLoad();
    EXPECT_EQ(fileRequests_.back().mode, FileDialogMode::Open);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(sim::FilterName(emulator_->GetImage(), 0), "L");
    EXPECT_EQ(List()->RowCount(), 5);
    EXPECT_EQ(PortCombo()->currentIndex(), 1);
    EXPECT_TRUE(dialog_->RefreshEnabled());
}

// A load the controller refuses says why under "Load failed" and still refreshes the dialog.
TEST_F(SettingsCommandsTest, ARefusedLoadShowsLoadFailedWithTheReasonAndStillRefreshes) {
    answer_ = QString::fromStdString(dir_.File("night.fws"));
    dialog_->OnSave();
    emulator_->AddFault({sim::FaultKind::kWriteEENak, "FWwriteEE"});
    List()->clear();
    dialog_->OnLoad();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text,
              "Load failed\n\nthe controller did not accept the configuration image");
    EXPECT_EQ(messages_[0].caption, "Load Failed");
    EXPECT_EQ(messages_[0].icon, MessageIcon::None);
    EXPECT_EQ(List()->RowCount(), 5);
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
