// SPDX-License-Identifier: GPL-3.0-or-later
// The controls interface of the Win32 front end, each call checked with the windows' own
// messages: texts, enabling, check states, combo boxes, arrows, focus, the report list and the
// editor over its cells, keys, the timer, message boxes, file choices and the curve.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "platform/WideTextWin32.h"
#include "windows/ui/DialogRig.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/dialogs/SettingsTemplates.h"
#include "ui/win32/WindowText.h"
#include "ui/win32/WindowsTimerService.h"

namespace kavri::ui::win32::test {
namespace {

namespace Id = ControlIds;
constexpr int kList = Id::FilterList;

HWND Item(const DialogWindow& dialog, int id) {
    return GetDlgItem(dialog.Handle(), id);
}

// The filter list with its four columns and two rows, the first with image 1.
void FillList(DialogControls& c) {
    c.SetListImages(kList, 3005, 16, 0xFF00FF);
    const int w = (c.ListClientWidth(kList) - 40) / 3;
    c.SetListColumns(kList, {{"Name", w}, {"#", 40}, {"Correction", w}, {"Focus Shift", w}});
    c.AddListRow(kList, {"L", "0", "0", "0"}, 1);
    c.AddListRow(kList, {"Ha", "1", "-3", "none"}, 0);
}

// What the end-to-end test does not reach: the three check states, an arrow key in the buddy
// of a backwards range, focus, rectangles, ids without a control, multi-line text.
TEST(Win32ControlsTest, ReachEveryKindOfControlById) {
    Recorder events;
    DialogWindow dialog(ControlDialogTemplate(), events, nullptr);
    DialogControls& c = dialog;
    c.SetText(Id::ThermometerName0, "Труба");
    EXPECT_EQ(c.Text(Id::ThermometerName0), "Труба");
    EXPECT_TRUE(events.Saw("text 3051"));  // set like typed
    for (CheckState state : {CheckState::Checked, CheckState::Indeterminate, CheckState::Clear}) {
        c.SetCheck(Id::AutoBox0, state);
        EXPECT_EQ(SendMessageW(Item(dialog, Id::AutoBox0), BM_GETCHECK, 0, 0), static_cast<LRESULT>(state));
        EXPECT_EQ(c.Check(Id::AutoBox0), state);
    }
    c.SetSpinRange(Id::MinStepSpin, 1000, 10);  // backwards: the up arrow proposes -1
    ASSERT_TRUE(Pump(dialog, [] { return true; }));
    c.SetFocus(Id::MinStep);
    EXPECT_EQ(c.FocusedControl(), Id::MinStep);
    PostMessageW(Item(dialog, Id::MinStep), WM_KEYDOWN, VK_UP, 0);
    EXPECT_TRUE(Pump(dialog, [&] { return events.Saw("spin 3027 -1"); }));
    RECT list{};
    GetWindowRect(Item(dialog, kList), &list);
    MapWindowPoints(nullptr, dialog.Handle(), reinterpret_cast<POINT*>(&list), 2);
    EXPECT_EQ(c.ControlRect(kList), (Rect{list.left, list.top, list.right, list.bottom}));
    c.SetText(9999, "x");
    EXPECT_EQ(c.Text(9999), "");
    EXPECT_EQ(c.ComboSelection(9999), -1);
    EXPECT_TRUE(c.ControlRect(9999).Empty());

    // Lines end with "\n" in the code and "\r\n" in a multi-line edit.
    Recorder tableEvents;
    DialogWindow table(MicrostepTableTemplate(), tableEvents, nullptr);
    table.SetText(microstep_ids::kTableEdit, "0 97\n180");
    EXPECT_EQ(WindowText(Item(table, microstep_ids::kTableEdit)), "0 97\r\n180");
    EXPECT_EQ(table.Text(microstep_ids::kTableEdit), "0 97\n180");
}

// The editor lies over the cell, a few pixels in from its sides, with the arrows stepping
// its number in range and the focus in it; closing gives its text. A double click whose first
// click opened it is the list's double click on that row, and closes it.
TEST(Win32ControlsTest, CellEditorLiesOverItsCell) {
    Recorder events;
    DialogWindow dialog(ControlDialogTemplate(), events, nullptr);
    DialogControls& c = dialog;
    FillList(c);
    ASSERT_TRUE(Pump(dialog, [] { return true; }));
    const HWND list = Item(dialog, kList);
    const std::string longName(300, 'x');  // longer than the first read of a cell
    c.SetListCell(kList, 1, 0, longName);
    EXPECT_EQ(c.ListCell(kList, 1, 0), longName);
    // Cells lie side by side along their row; there are none beyond the rows and columns.
    const int w = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
    const Rect name = c.CellRect(kList, 1, 0), correction = c.CellRect(kList, 1, 2);
    EXPECT_EQ(name.right - name.left, w);
    EXPECT_EQ(correction.left, name.left + w + 40);
    EXPECT_EQ(correction.top, c.CellRect(kList, 0, 2).bottom);
    EXPECT_TRUE(c.CellRect(kList, 2, 2).Empty());
    EXPECT_TRUE(c.CellRect(kList, 0, 4).Empty());
    c.OpenCellEditor({kList, 1, 2, "-3", -1000, 1000, Id::CellEditor, Id::CellSpin});
    const HWND edit = GetDlgItem(list, Id::CellEditor);
    const HWND spin = GetDlgItem(list, Id::CellSpin);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(WindowText(edit), "-3");
    RECT e{}, s{};
    GetWindowRect(edit, &e);
    GetWindowRect(spin, &s);
    MapWindowPoints(nullptr, list, reinterpret_cast<POINT*>(&e), 2);
    MapWindowPoints(nullptr, list, reinterpret_cast<POINT*>(&s), 2);
    const Rect cell = c.CellRect(kList, 1, 2);
    EXPECT_EQ(e.left, cell.left + 5);
    EXPECT_EQ(e.top, cell.top);
    EXPECT_NEAR(s.right, cell.right - 5, 2);  // the arrows may lie on the edit's border
    EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)), edit);
    EXPECT_EQ(c.FocusedControl(), Id::CellEditor);
    PostMessageW(edit, WM_KEYDOWN, VK_UP, 0);
    EXPECT_TRUE(Pump(dialog, [&] { return WindowText(edit) == "-2"; }));
    c.SetText(Id::CellEditor, "1000");
    PostMessageW(edit, WM_KEYDOWN, VK_UP, 0);
    Pump(dialog, [] { return false; }, 200);
    EXPECT_EQ(c.CloseCellEditor(), "1000");  // the range's end
    EXPECT_FALSE(IsWindow(edit) || IsWindow(spin));
    EXPECT_EQ(c.CloseCellEditor(), std::nullopt);

    events.onClick = [&](int, Point point) {
        if (c.CellRect(kList, 1, 3).Contains(point))
            c.OpenCellEditor({kList, 1, 3, "none", -1000, 1000, Id::CellEditor, Id::CellSpin});
    };
    const Rect shift = c.CellRect(kList, 1, 3);
    const Point middle{(shift.left + shift.right) / 2, (shift.top + shift.bottom) / 2};
    Click(list, middle);
    ASSERT_TRUE(Pump(dialog, [&] { return c.CellEditorOpen(); }));
    Click(list, middle);
    EXPECT_TRUE(Pump(dialog, [&] { return events.Saw("double-click 3018 1"); }));
    EXPECT_FALSE(c.CellEditorOpen());
}

// Every key pressed in the dialog reaches the behaviour first; one it consumes goes no
// further, neither to the control nor to the dialog manager.
TEST(Win32ControlsTest, KeysReachTheBehaviourFirst) {
    const struct {
        WPARAM key;
        bool consumed;
        const char* seen;  // Key::Enter 0 ... Key::Digit 6, Key::Other 7; the digit
        const char* typed;  // nullptr: whatever the system types
        bool accepted;
    } cases[] = {
        {'5', true, "key 6 5", "", false},
        {'A', false, "key 7 -1", "a", false},
        {VK_NUMPAD5, false, "key 7 -1", nullptr, false},  // the keypad's digits are other keys
        {VK_RETURN, true, "key 0 -1", "", false},
        {VK_RETURN, false, "key 0 -1", "", true},  // the dialog manager's accept command
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.seen);
        Recorder events;
        events.onKey = [&](const KeyPress&) { return k.consumed; };
        DialogWindow dialog(ControlDialogTemplate(), events, nullptr);
        ASSERT_TRUE(Pump(dialog, [] { return true; }));
        dialog.SetFocus(Id::TargetPosition);
        PostMessageW(Item(dialog, Id::TargetPosition), WM_KEYDOWN, k.key, 0);
        EXPECT_TRUE(Pump(dialog, [&] { return events.Saw(k.seen); }));
        Pump(dialog, [] { return false; }, 100);
        if (k.typed != nullptr) {
            EXPECT_EQ(dialog.Text(Id::TargetPosition), k.typed);
        }
        EXPECT_EQ(events.Saw("command 1"), k.accepted);
    }
}

// The dialog's timer and the device's (a thread timer) both tick in the dialog's loop.
TEST(Win32ControlsTest, TimersTickUntilStopped) {
    Recorder events;
    DialogWindow dialog(ControlDialogTemplate(), events, nullptr);
    const auto ticks = [&] { return std::count(events.events.begin(), events.events.end(), "timer 7"); };
    WindowsTimerService deviceTimers;
    int deviceTicks = 0;
    EXPECT_EQ(deviceTimers.StartTimer(1, 0, [] {}), 0);
    const int deviceTimer = deviceTimers.StartTimer(1, 20, [&] { ++deviceTicks; });
    ASSERT_NE(deviceTimer, 0);
    dialog.StartTimer(7, 20);
    ASSERT_TRUE(Pump(dialog, [&] { return ticks() >= 3 && deviceTicks >= 3; }));
    dialog.StopTimer(7);
    deviceTimers.StopTimer(deviceTimer);
    const auto stopped = ticks();
    const int deviceStopped = deviceTicks;
    Pump(dialog, [] { return false; }, 150);
    EXPECT_EQ(ticks(), stopped);
    EXPECT_EQ(deviceTicks, deviceStopped);
}

// The texts of a window's children, and whether one shows an icon.
std::vector<std::string> ChildTexts(HWND window, bool& icon) {
    static std::vector<std::string> texts;
    static bool hasIcon;
    texts.clear();
    hasIcon = false;
    EnumChildWindows(window, [](HWND w, LPARAM) {
        texts.push_back(WindowText(w));
        wchar_t name[16] = {};
        GetClassNameW(w, name, 16);
        if (lstrcmpiW(name, L"Static") == 0 && SendMessageW(w, STM_GETICON, 0, 0) != 0)
            hasIcon = true;
        return TRUE;
    }, 0);
    icon = hasIcon;
    return texts;
}

TEST(Win32ControlsTest, MessageBoxesAndFileChoices) {
    Recorder events;
    DialogWindow dialog(ControlDialogTemplate(), events, nullptr);
    ASSERT_TRUE(Pump(dialog, [] { return true; }));
    for (MessageStyle style : {MessageStyle::Plain, MessageStyle::Warning}) {
        std::string caption;
        std::vector<std::string> texts;
        bool icon = false;
        PlanDialogs({{"", [&](HWND box) {
                          caption = WindowText(box);
                          texts = ChildTexts(box, icon);
                          PostMessageW(box, WM_COMMAND, IDOK, 0);
                      }}});
        dialog.ShowMessage("Связь с контроллером потеряна.", "Load Failed", style);
        EXPECT_EQ(caption, "Load Failed");
        EXPECT_NE(std::find(texts.begin(), texts.end(), "Связь с контроллером потеряна."), texts.end());
        EXPECT_EQ(icon, style == MessageStyle::Warning);
    }

    // A name typed without its suffix is saved with ".fws"; the only file type offered is the
    // settings file. (Wine's open dialog does not add the suffix to a name typed without it.)
    kavri::test::TempDir dir;
    kavri::test::WriteFileText(dir.File("night.fws"), "x");
    const FileType settings{"Settings File (*.fws)", "*.fws", "fws"};
    for (const auto& [choice, typed, answer] :
         {std::tuple{FileChoice::Save, "evening", IDOK}, {FileChoice::Open, "night.fws", IDOK},
          {FileChoice::Open, "night.fws", IDCANCEL}}) {
        bool typeOffered = false;
        PlanDialogs({{"", [&](HWND box) {
            EnumChildWindows(box, [](HWND w, LPARAM offered) {
                if (SendMessageW(w, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(L"Settings File (*.fws)")) >= 0)
                    *reinterpret_cast<bool*>(offered) = true;
                return TRUE;
            }, reinterpret_cast<LPARAM>(&typeOffered));
            SetWindowTextW(GetFocus(), Utf8ToWide(dir.File(typed)).c_str());
            PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
        }}});
        const std::optional<std::string> path = dialog.ChooseFile(choice, settings);
        EXPECT_TRUE(typeOffered);
        if (answer == IDOK) {
            const std::string name = typed;
            EXPECT_EQ(path, dir.File(name.ends_with(".fws") ? name : name + ".fws"));
        } else {
            EXPECT_EQ(path, std::nullopt);
        }
    }
}

// The curve is drawn when the dialog paints: black lines on the white areas, the dialog's
// face around them; Redraw paints again.
TEST(Win32ControlsTest, CurveIsDrawnWhenTheDialogPaints) {
    const uint8_t table[8] = {0, 97, 180, 236, 255, 236, 180, 97};
    MicrostepFigures figures;
    int paints = 0;
    Recorder events;
    events.onPaint = [&](DialogControls& c) {
        const Rect client = c.ClientRect();
        figures = ComputeMicrostepFigures(table, 8, {client.left, client.top, client.right, client.bottom},
                                          c.ControlRect(microstep_ids::kTableEdit).bottom);
        c.DrawCurve(figures);
        ++paints;
    };
    DialogWindow dialog(MicrostepTableTemplate(), events, nullptr);
    ASSERT_TRUE(Pump(dialog, [&] { return paints > 0; }));
    const HDC dc = GetDC(dialog.Handle());
    const CurvePoint start = figures.levelCurve.front(), centre = figures.currentPath.front();
    EXPECT_EQ(GetPixel(dc, start.x, start.y), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, centre.x, centre.y), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, figures.square.left, figures.square.top), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, figures.band.left + 1, figures.band.top + 1), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 2, centre.y), GetSysColor(COLOR_BTNFACE));
    ReleaseDC(dialog.Handle(), dc);
    const int before = paints;
    dialog.Redraw();
    EXPECT_TRUE(Pump(dialog, [&] { return paints > before; }));
}

}  // namespace
}  // namespace kavri::ui::win32::test
