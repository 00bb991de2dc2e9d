// SPDX-License-Identifier: GPL-3.0-or-later
// Dialogs of the Win32 front end on the screen, with a behaviour that records what the window
// reports, a pump that runs the dialog's message loop until something has happened, and a
// screen capture. The tests need a display: under Wine, cmake/wine-run.sh passes them the one
// KAVRI_WINE_DISPLAY names (scripts/test.sh runs an Xvfb).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/dialogs/DialogEvents.h"
#include "ui/win32/DialogWindow.h"

namespace kavri::ui::win32::test {

// Every event as a line: "command 2", "key 6 5" (Key::Digit, digit 5), "spin 3002 -1",
// "double-click 3018 1", "timer 7". Tests may answer keys and clicks, and paint.
class Recorder : public DialogEvents {
public:
    DialogControls* controls = nullptr;
    std::vector<std::string> events;
    std::function<bool(const KeyPress&)> onKey;
    std::function<void(int listId, Point point)> onClick;
    std::function<void(DialogControls&)> onPaint;

    void OnInitDialog(DialogControls& c) override { controls = &c; }
    bool OnKey(const KeyPress& key) override {
        Add("key", static_cast<int>(key.key), key.digit);
        return onKey && onKey(key);
    }
    void OnCommand(int id) override { Add("command", id); }
    void OnTextChanged(int id) override { Add("text", id); }
    void OnSpin(int id, int delta) override { Add("spin", id, delta); }
    void OnListClick(int listId, Point point) override {
        if (onClick) onClick(listId, point);
    }
    void OnListDoubleClick(int listId, Point, int row) override {
        Add("double-click", listId, row);
    }
    void OnTimer(int timerId) override { Add("timer", timerId); }
    void OnPaint() override {
        if (onPaint) onPaint(*controls);
    }
    bool Saw(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }

private:
    void Add(const char* what, int a, int b = INT32_MIN) {
        events.push_back(std::string(what) + " " + std::to_string(a) +
                         (b != INT32_MIN ? " " + std::to_string(b) : ""));
    }
};

// Shows the dialog and runs its messages until `done` holds (true) or `ms` pass (false).
bool Pump(DialogWindow& dialog, const std::function<bool()>& done, int ms = 5000);

// A screenshot of the window as it is on the screen, frame included, written as `name`.bmp
// into the folder KAVRI_SCREENSHOT_DIR names (when it names one), for looking at it. Checks
// that a window was drawn: frame, texts and controls, not an empty rectangle.
void Shoot(HWND window, const char* name);

// Dialogs that open over the one under test (a settings dialog, a message box, a file choice)
// run their own modal loops: these steps are taken there, in order, from a thread timer. Each
// waits for a shown, enabled dialog window with its caption (empty: any), then acts on it: reads
// it, posts its clicks. A dialog the step closes hands the turn back to the one below it.
struct DialogStep {
    std::string caption;
    std::function<void(HWND)> act;
};
void PlanDialogs(std::vector<DialogStep> steps);
bool DialogsDone();

// A control's text, and an image of a list row, as the windows hold them.
std::string ItemText(HWND dialog, int id);
int RowImage(HWND list, int row);

// A mouse click at a point of a window, through the system's input queue like the user's.
void Click(HWND window, Point point);

}  // namespace kavri::ui::win32::test
