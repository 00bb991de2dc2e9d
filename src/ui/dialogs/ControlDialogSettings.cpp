// SPDX-License-Identifier: GPL-3.0-or-later
// The main dialog's four settings commands: the wheel and focuser settings dialogs, and
// saving and loading settings files. Each pauses the periodic refresh while its dialog is up,
// since the modal loop keeps delivering the refresh timer, and brings the main dialog up to
// date afterwards.
#include "device/WheelFocuserDevice.h"
#include "persist/SettingsFile.h"
#include "ui/dialogs/ControlDialog.h"
#include "ui/dialogs/FocuserSettingsDialog.h"
#include "ui/dialogs/SettingsTemplates.h"
#include "ui/dialogs/WheelSettingsDialog.h"

namespace kavri::ui {

namespace {

const FileType kSettingsFileType{"Settings File (*.fws)", "*.fws", "fws"};

}  // namespace

void ControlDialog::OnWheelSettings() {
    refreshEnabled_ = false;
    {
        WheelSettingsDialog dialog(device_);
        c_->RunModal(WheelSettingsTemplate(), dialog);
    }
    // The dialog's probe may have changed the presence flags and the number of filters.
    UpdateData(false);
    FillFilterList();
    refreshEnabled_ = true;
}

void ControlDialog::OnFocuserSettings() {
    refreshEnabled_ = false;
    {
        FocuserSettingsDialog dialog(device_);
        c_->RunModal(FocuserSettingsTemplate(), dialog);
    }
    UpdateData(false);
    FillFilterList();
    refreshEnabled_ = true;
}

void ControlDialog::OnSave() {
    refreshEnabled_ = false;
    const std::optional<std::string> path = c_->ChooseFile(FileChoice::Save, kSettingsFileType);
    std::string reason;
    if (path && !SaveSettingsFile(*device_, *path, &reason)) {
        // A night's settings that silently failed to reach the disk would be missed only
        // when they are needed; the reason (read-only file, not a regular file, ...) says
        // what to do about it.
        c_->ShowMessage("Save failed\n\n" + *path + ":\n" + reason, "Save Failed",
                        MessageStyle::Warning);
    }
    refreshEnabled_ = true;
}

void ControlDialog::OnLoad() {
    refreshEnabled_ = false;
    const std::optional<std::string> path = c_->ChooseFile(FileChoice::Open, kSettingsFileType);
    if (path) {
        std::string reason;
        if (!LoadSettingsFile(*device_, *path, &reason)) {
            // The reason below the message tells a file that is no settings file from a
            // controller that did not take it.
            c_->ShowMessage("Load failed\n\n" + reason, "Load Failed", MessageStyle::Plain);
        }
        // Whatever the load changed before it failed becomes visible too. The port choice
        // stays the one made here, not the number read from the file.
        UpdateData(false);
        FillFilterList();
    }
    refreshEnabled_ = true;
}

}  // namespace kavri::ui
