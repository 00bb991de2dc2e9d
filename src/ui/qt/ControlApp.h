// SPDX-License-Identifier: GPL-3.0-or-later
// The program: one device over the settings store, the main dialog shown modally over it, and
// an orderly end — the dialog goes first, then the device, which disconnects, saves its
// settings and stops its timer.
#pragma once

#include <functional>

namespace kavri {
class SettingsStore;
class WheelFocuserDevice;
}  // namespace kavri

namespace kavri::ui {

class ControlDialog;
class QtDialog;

class ControlApp {
public:
    explicit ControlApp(SettingsStore& store) : store_(store) {}

    // Runs the program to its end inside the running QApplication; returns false, as there is
    // no further message loop to run afterwards.
    bool InitInstance();

    // Called with the main dialog's window, its behaviour and the device once all are built,
    // before the dialog runs (tests drive the program from here).
    using DialogHook = std::function<void(QtDialog&, ControlDialog&, WheelFocuserDevice&)>;
    void SetDialogHook(DialogHook hook) { hook_ = std::move(hook); }

private:
    SettingsStore& store_;
    DialogHook hook_;
};

}  // namespace kavri::ui
