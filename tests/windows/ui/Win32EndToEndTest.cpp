// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program on Windows as kavri-control.exe builds it (the dialogs' shared behaviour
// over the Win32 windows), against the Linux emulator on a COM port of Wine (dialogs-e2e.sh
// starts it): each dialog is opened and driven with window messages, and checked against what
// the controller received (the emulator's trace) and what the dialog shows. Screenshots of the
// four dialogs, filled from the controller, are taken on the way (DialogRig.h: Shoot).
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "ui/dialogs/ControlDialog.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/dialogs/SettingsTemplates.h"
#include "ui/win32/WindowsTimerService.h"
#include "windows/ui/DialogRig.h"

namespace kavri::ui::win32::test {
namespace {

namespace Id = ControlIds;
constexpr int kSlow = 30000;  // ms: a loaded machine, Wine's serial driver, the emulator

// Everything the emulator received so far, as text: the part between the bars of each RX line.
std::string Received() {
    std::ifstream trace(std::getenv("KAVRI_SIM_TRACE"));
    std::string line, text;
    while (std::getline(trace, line)) {
        const size_t first = line.find('|'), last = line.rfind('|');
        if (line.find(" RX ") != std::string::npos && first < last)
            text += line.substr(first + 1, last - first - 1);
    }
    return text;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

void Press(HWND dialog, int id) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void Type(HWND dialog, int id, const wchar_t* text) {
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

TEST(Win32EndToEndTest, EveryDialogDrivesTheController) {
    const char* com = std::getenv("KAVRI_SIM_COM");
    ASSERT_NE(com, nullptr) << "run by dialogs-e2e.sh, with the emulator on a COM port";
    MemorySettingsStore store;
    WindowsTimerService timers;
    WheelFocuserDevice device(store, timers);
    device.settings.ComPort = std::atoi(com);
    ControlDialog behaviour(device);
    DialogWindow dialog(ControlDialogTemplate(), behaviour, nullptr);
    const HWND main = dialog.Handle();
    const HWND list = GetDlgItem(main, Id::FilterList);
    const auto rows = [&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); };

    // Connect: the filter table comes from the controller, the current filter has the
    // yellow icon, the port can no longer be changed.
    EXPECT_EQ(SendMessageW(GetDlgItem(main, Id::PortCombo), CB_GETCURSEL, 0, 0), std::atoi(com));
    Press(main, Id::Connect);
    ASSERT_TRUE(Pump(dialog, [&] { return rows() == 5; }, kSlow)) << Received();
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main, Id::PortCombo)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(main, Id::Disconnect)));
    EXPECT_EQ(RowImage(list, 0), 1);
    EXPECT_NE(dialog.ListCell(Id::FilterList, 0, 0), "");

    // A digit typed in the position field turns the wheel to that filter.
    PostMessageW(GetDlgItem(main, Id::PositionDisplay), WM_KEYDOWN, '2', 0);
    EXPECT_TRUE(Pump(dialog, [&] { return RowImage(list, 2) == 1 && RowImage(list, 0) == 0; }, kSlow));
    EXPECT_NE(Received().find("FWGOTO"), std::string::npos);

    // A click on a correction cell opens the editor over it with the cell's number; the number
    // typed there is written to the controller's table when the focus moves on.
    const Rect cell = dialog.CellRect(Id::FilterList, 1, 2);
    Click(list, {(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2});
    ASSERT_TRUE(Pump(dialog, [&] { return dialog.CellEditorOpen(); }, kSlow));
    const HWND editor = GetDlgItem(list, Id::CellEditor);
    EXPECT_EQ(ItemText(list, Id::CellEditor), dialog.ListCell(Id::FilterList, 1, 2));
    Pump(dialog, [] { return false; }, 300);  // painted
    Shoot(main, "win32-main-cell-editor");
    SendMessageW(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"7"));
    const auto tableWrites = Count(Received(), "FWwriteEE");
    dialog.SetFocus(Id::PositionDisplay);
    EXPECT_TRUE(Pump(dialog, [&] { return !dialog.CellEditorOpen() && dialog.ListCell(Id::FilterList, 1, 2) == "7"; },
                     kSlow));
    EXPECT_GT(Count(Received(), "FWwriteEE"), tableWrites);

    // A target typed and Go: the focuser moves there, the position shows it.
    Type(main, Id::TargetPosition, L"1200");
    Press(main, Id::Go);
    EXPECT_TRUE(Pump(dialog, [&] { return ItemText(main, Id::PositionDisplay) == "1200"; }, kSlow));
    EXPECT_NE(Received().find("FWgoFocus"), std::string::npos);
    Shoot(main, "win32-main");

    // The wheel settings show the controller's speed; a new one is written to its EEPROM and
    // shown when the dialog opens again.
    std::string speed;
    const auto writes = Count(Received(), "FWwriteEE");
    PlanDialogs({{WheelSettingsTemplate().caption, [&](HWND w) {
                      speed = ItemText(w, wheel_ids::kSpeedEdit);
                      Shoot(w, "win32-wheel-settings");
                      Type(w, wheel_ids::kSpeedEdit, L"321");
                      Press(w, kOkButton);
                  }}});
    Press(main, Id::WheelSettings);
    ASSERT_TRUE(Pump(dialog, [&] { return DialogsDone() && IsWindowEnabled(main); }, kSlow));
    EXPECT_FALSE(speed.empty());
    EXPECT_EQ(Count(Received(), "FWwriteEE"), writes + 1);
    PlanDialogs({{WheelSettingsTemplate().caption, [&](HWND w) {
                      speed = ItemText(w, wheel_ids::kSpeedEdit);
                      Press(w, kCancelButton);
                  }}});
    Press(main, Id::WheelSettings);
    ASSERT_TRUE(Pump(dialog, [&] { return DialogsDone() && IsWindowEnabled(main); }, kSlow));
    EXPECT_EQ(speed, "321");

    // Focuser settings, and over them the microstep table: a sine table generated, shown and
    // applied (sent to the controller); both are then left with Exit and Cancel.
    std::string backlash, table;
    PlanDialogs({{FocuserSettingsTemplate().caption, [&](HWND w) {
                      backlash = ItemText(w, focuser_ids::kBacklashEdit);
                      Shoot(w, "win32-focuser-settings");
                      Press(w, focuser_ids::kMicrostepsButton);
                  }},
                 {MicrostepTableTemplate().caption, [&](HWND w) {
                      SendMessageW(GetDlgItem(w, microstep_ids::kSin), BM_CLICK, 0, 0);
                      table = ItemText(w, microstep_ids::kTableEdit);
                      UpdateWindow(w);
                      Shoot(w, "win32-microstep-table");
                      Press(w, kOkButton);  // Apply: sent, the dialog stays
                      Press(w, kCancelButton);
                  }},
                 {FocuserSettingsTemplate().caption, [&](HWND w) { Press(w, kCancelButton); }}});
    Press(main, Id::FocuserSettings);
    ASSERT_TRUE(Pump(dialog, [&] { return DialogsDone() && IsWindowEnabled(main); }, kSlow));
    EXPECT_FALSE(backlash.empty());
    EXPECT_EQ(table.rfind("0 ", 0), 0u) << table;
    EXPECT_NE(Received().find("FWym"), std::string::npos);

    // Disconnect empties the list and offers the port again.
    Press(main, Id::Disconnect);
    EXPECT_TRUE(Pump(dialog, [&] { return rows() == 0 && IsWindowEnabled(GetDlgItem(main, Id::PortCombo)); },
                     kSlow));
}

}  // namespace
}  // namespace kavri::ui::win32::test
