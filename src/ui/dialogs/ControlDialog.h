// SPDX-License-Identifier: GPL-3.0-or-later
// The behaviour of the program's main window: port choice, connect and disconnect, the filter
// table with its in-place editors, the focuser panel with the once-a-second refresh, the
// keyboard rules and the settings commands. It works on the one device, which it never owns,
// and joins the device's clients while it holds the connection. The window itself is the
// front end's (template 202, ControlDialogTemplate.h), reached through DialogControls.
#pragma once

#include <cstdint>
#include <string>

#include "ui/dialogs/DialogEvents.h"

namespace kavri {
class WheelFocuserDevice;
}

namespace kavri::ui {

class ControlDialog : public DialogEvents {
public:
    // `startWarning`, when not empty, is shown once as the dialog opens (e.g. settings that
    // are kept where they may not be found).
    explicit ControlDialog(WheelFocuserDevice& device, std::string startWarning = {});

    // The refresh timer's id.
    static constexpr int kRefreshTimer = 1;

    void OnInitDialog(DialogControls& controls) override;
    bool OnKey(const KeyPress& key) override;
    void OnCommand(int id) override;
    void OnTextChanged(int id) override;
    void OnFocusLeft(int id) override;
    void OnSpin(int id, int delta) override;
    void OnListClick(int listId, Point point) override;
    void OnListDoubleClick(int listId, Point point, int row) override;
    void OnLabelEdited(int listId, int row, const std::string& text) override;
    void OnTimer(int timerId) override;

    // Controls to members (`save` true) or members to controls, then the enabling rules.
    void UpdateData(bool save);

    // Connect and disconnect, as their buttons and Enter run them.
    void OnConnect();
    void OnDisconnect();

    // Filter list (ControlDialogFilterList.cpp).
    void FillFilterList();
    void MarkCurrentFilter();
    bool BeginCellEdit(Point point);  // client coordinates of the list
    void EndCellEdit();

    // Focuser panel and the once-a-second refresh (ControlDialogFocuser.cpp).
    void OnTimer();
    void ShowAutoStates();
    void OnAutoBox(int thermometer);
    void OnFocuserSpin(int delta);
    void OnMinStepSpin(int delta);
    void OnMinStepEdit();
    void OnSet();
    void OnGo();

    // Cleared while a dialog opened from this one is up: the refresh then leaves the device
    // alone.
    void SetRefreshEnabled(bool enabled) { refreshEnabled_ = enabled; }
    bool RefreshEnabled() const { return refreshEnabled_; }
    int AutoIndex() const { return autoIndex_; }

    // Closing: the cancel path (Exit, Escape, window close) and the accept path.
    void OnCancel();
    void OnOK();

    // Settings commands (ControlDialogSettings.cpp): the two settings dialogs and the settings
    // files, each with the periodic refresh paused while its dialog is up.
    void OnWheelSettings();
    void OnFocuserSettings();
    void OnSave();
    void OnLoad();

    int PortIndex() const { return portIndex_; }
    int HighlightedFilter() const { return highlightedFilter_; }

    // The keyboard rules for a key pressed anywhere in this dialog; true when consumed.
    bool PreTranslateKey(const KeyPress& key);

private:
    void CreateColumns();
    void ShowWarning(const std::string& text);
    void OnHangUp();
    // The typed name of thermometer `k` as the device keeps it; false, with the field reset
    // and the user told, when the name cannot be stored.
    bool ThermometerNameBytes(int k, std::string& bytes);
    // The focuser position typed into the value box; false, with the user told, when it is
    // outside what the controller can hold.
    bool TargetFromBox(int32_t& target);
    // False, with the user told, when `target` is outside the controller's positions.
    bool CheckFocuserTarget(int64_t target);

    WheelFocuserDevice* device_;
    DialogControls* c_ = nullptr;
    std::string startWarning_;
    int portIndex_ = 0;
    int autoIndex_ = -1;
    bool refreshEnabled_ = true;
    int highlightedFilter_ = -1;
    int editRow_ = -1;
    int editColumn_ = -1;
};

}  // namespace kavri::ui
