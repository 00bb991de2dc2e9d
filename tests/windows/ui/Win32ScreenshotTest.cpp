// SPDX-License-Identifier: GPL-3.0-or-later
// Screenshots of the four dialogs (and of the main one with the editor over a cell), filled as
// they are on a connected evening, taken from the screen; written as BMP files into the folder
// KAVRI_SCREENSHOT_DIR names, for looking at them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "windows/ui/DialogRig.h"
#include "ui/dialogs/ControlDialogTemplate.h"
#include "ui/dialogs/SettingsTemplates.h"

namespace kavri::ui::win32::test {
namespace {

namespace Id = ControlIds;

void SetTexts(DialogControls& c, std::initializer_list<std::pair<int, const char*>> texts) {
    for (const auto& [id, text] : texts) c.SetText(id, text);
}

void FillMain(DialogControls& c) {
    c.SelectComboItem(Id::PortCombo, 3);
    for (int id : {Id::Connect, Id::PortCombo}) c.Enable(id, false);
    c.Enable(Id::Disconnect, true);
    c.SetListImages(Id::FilterList, 3005, 16, 0xFF00FF);
    const int w = (c.ListClientWidth(Id::FilterList) - 40) / 3;
    c.SetListColumns(Id::FilterList, {{"Name", w}, {"#", 40}, {"Correction", w}, {"Focus Shift", w}});
    const char* rows[][4] = {{"L", "0", "0", "0"}, {"R", "1", "2", "15"}, {"G", "2", "-3", "10"},
                             {"B", "3", "1", "25"}, {"Ha", "4", "4", "none"}};
    for (int i = 0; i < 5; ++i)
        c.AddListRow(Id::FilterList, {rows[i][0], rows[i][1], rows[i][2], rows[i][3]}, i == 0 ? 1 : 0);
    SetTexts(c, {{Id::Temperature0, "5.20"}, {Id::Temperature0 + 1, "3.40"},
                 {Id::ThermometerName0, "Труба"}, {Id::ThermometerName0 + 1, "Улица"},
                 {Id::PositionDisplay, "1500"}, {Id::Direction, "U"}, {Id::MinStep, "10"}});
    c.SetCheck(Id::AutoBox0, CheckState::Checked);
    c.SetCheck(Id::AutoBox0 + 1, CheckState::Clear);
    for (int k : {2, 3}) c.SetCheck(Id::AutoBox0 + k, CheckState::Indeterminate);
    for (int k : {0, 1}) c.Enable(Id::AutoBox0 + k, true);
}

void FillWheel(DialogControls& c) {
    using namespace wheel_ids;
    for (int id : {kHalfStep, kMotorOff, kHomeSensor}) c.SetCheck(id, CheckState::Checked);
    SetTexts(c, {{kSpeedEdit, "200"}, {kFilterCountEdit, "5"}, {kMaxStepsEdit, "120"}});
    c.SelectComboItem(kPowerOutputCombo, 2);
}

void FillFocuser(DialogControls& c) {
    using namespace focuser_ids;
    c.SetComboItems(kStepCombo, {"1/1", "1/2", "1/4", "1/8", "1/16"});
    c.SelectComboItem(kStepCombo, 2);
    SetTexts(c, {{kSpeedEdit, "100"}, {kIdlePowerEdit, "50"}, {kBacklashEdit, "20"},
                 {kThermometerEdit, "2"}, {kCompensationEdit, "-12"}, {kAveragingEdit, "8"},
                 {kThresholdEdit, "10"}, {kStepLengthEdit, "10"}, {kMaxFocusPosEdit, "30000"},
                 {kFocusShiftEdit, "0"}});
}

const uint8_t kSineTable[16] = {0, 50, 98, 142, 180, 212, 236, 250, 255, 250, 236, 212, 180, 142, 98, 50};

void FillTable(DialogControls& c) {
    c.SetText(microstep_ids::kTableEdit, "0 50 98 142 180 212 236 250 255 ");
}

void PaintTable(DialogControls& c) {
    const Rect client = c.ClientRect();
    c.DrawCurve(ComputeMicrostepFigures(kSineTable, 16,
                                        {client.left, client.top, client.right, client.bottom},
                                        c.ControlRect(microstep_ids::kTableEdit).bottom));
}

TEST(Win32ScreenshotTest, FourDialogsAsOnAnEvening) {
    const char* folder = std::getenv("KAVRI_SCREENSHOT_DIR");
    SetCursorPos(0, 0);  // no control lit up under the pointer
    const struct {
        const char* name;
        const DialogTemplate& tmpl;
        void (*fill)(DialogControls&);
        bool cellEditor;
    } shots[] = {
        {"win32-main", ControlDialogTemplate(), &FillMain, false},
        {"win32-main-cell-editor", ControlDialogTemplate(), &FillMain, true},
        {"win32-wheel-settings", WheelSettingsTemplate(), &FillWheel, false},
        {"win32-focuser-settings", FocuserSettingsTemplate(), &FillFocuser, false},
        {"win32-microstep-table", MicrostepTableTemplate(), &FillTable, false},
    };
    for (const auto& shot : shots) {
        SCOPED_TRACE(shot.name);
        Recorder events;
        events.onInit = shot.fill;
        if (shot.fill == &FillTable) events.onPaint = &PaintTable;
        DialogWindow dialog(shot.tmpl, events, nullptr);
        if (shot.cellEditor) {
            dialog.OpenCellEditor({Id::FilterList, 2, 2, "-3", -1000, 1000, Id::CellEditor, Id::CellSpin});
        }
        Pump(dialog, [] { return false; }, 300);  // shown and painted
        int width = 0, height = 0;
        const std::vector<uint32_t> pixels = CaptureWindow(dialog.Handle(), width, height);
        ASSERT_FALSE(pixels.empty());
        // A window drawn, not an empty rectangle: frame, texts, controls.
        EXPECT_GT(std::set<uint32_t>(pixels.begin(), pixels.end()).size(), 8u);
        if (folder != nullptr) {
            EXPECT_TRUE(WriteBmp(std::string(folder) + "/" + shot.name + ".bmp", pixels, width, height));
        }
    }
}

}  // namespace
}  // namespace kavri::ui::win32::test
