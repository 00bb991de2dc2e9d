// The main dialog's four settings commands: the wheel and focuser settings dialogs, and
// saving and loading settings files. Each pauses the periodic refresh while its dialog is up,
// since the modal loop keeps delivering the refresh timer, and brings the main dialog up to
// date afterwards.
#include <QDir>
#include <QFile>
#include <QPushButton>

#include "device/WheelFocuserDevice.h"
#include "persist/SettingsFile.h"
#include "ui/common/DialogBuilder.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/main/ControlDialog.h"
#include "ui/settings/FocuserSettingsDialog.h"
#include "ui/settings/UserPrompts.h"
#include "ui/settings/WheelSettingsDialog.h"

namespace kavri::ui {

namespace {

const QString kSettingsFilter = QStringLiteral("Settings File (*.fws)");
const QString kSettingsSuffix = QStringLiteral("fws");

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace

void ControlDialog::ConnectSettingsCommands() {
    const struct {
        int id;
        void (ControlDialog::*handler)();
    } commands[] = {
        {ControlIds::WheelSettings, &ControlDialog::OnWheelSettings},
        {ControlIds::FocuserSettings, &ControlDialog::OnFocuserSettings},
        {ControlIds::Save, &ControlDialog::OnSave},
        {ControlIds::Load, &ControlDialog::OnLoad},
    };
    for (const auto& command : commands) {
        connect(FindControlAs<QPushButton>(*this, command.id), &QPushButton::clicked, this,
                command.handler);
    }
}

void ControlDialog::OnWheelSettings() {
    refreshEnabled_ = false;
    {
        WheelSettingsDialog dialog(device_, this);
        dialog.exec();
    }
    // The dialog's probe may have changed the presence flags and the number of filters.
    UpdateData(false);
    FillFilterList();
    refreshEnabled_ = true;
}

void ControlDialog::OnFocuserSettings() {
    refreshEnabled_ = false;
    {
        FocuserSettingsDialog dialog(device_, this);
        dialog.exec();
    }
    UpdateData(false);
    FillFilterList();
    refreshEnabled_ = true;
}

void ControlDialog::OnSave() {
    refreshEnabled_ = false;
    const QString path =
        AskFileName({this, FileDialogMode::Save, kSettingsFilter, kSettingsSuffix});
    std::string reason;
    if (!path.isEmpty() && !SaveSettingsFile(*device_, LocalPath(path), &reason)) {
        // A night's settings that silently failed to reach the disk would be missed only
        // when they are needed; the reason (read-only file, not a regular file, ...) says
        // what to do about it.
        ShowMessage({this,
                     QStringLiteral("Save failed\n\n%1:\n%2")
                         .arg(QDir::toNativeSeparators(path), QString::fromStdString(reason)),
                     QStringLiteral("Save Failed"), MessageIcon::Warning});
    }
    refreshEnabled_ = true;
}

void ControlDialog::OnLoad() {
    refreshEnabled_ = false;
    const QString path =
        AskFileName({this, FileDialogMode::Open, kSettingsFilter, kSettingsSuffix});
    if (!path.isEmpty()) {
        std::string reason;
        if (!LoadSettingsFile(*device_, LocalPath(path), &reason)) {
            // The reason below the message tells a file that is no settings file from a
            // controller that did not take it.
            ShowMessage({this, QStringLiteral("Load failed\n\n") + QString::fromStdString(reason),
                         QStringLiteral("Load Failed"), MessageIcon::None});
        }
        // Whatever the load changed before it failed becomes visible too. The port choice
        // stays the one made here, not the number read from the file.
        UpdateData(false);
        FillFilterList();
    }
    refreshEnabled_ = true;
}

}  // namespace kavri::ui
