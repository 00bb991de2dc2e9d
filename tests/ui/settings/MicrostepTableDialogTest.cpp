// The microstep table dialog on the emulated controller's table: generators and the bend,
// typed tables, inversion, "Apply" and "Exit", and what it draws.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <vector>

#include "DialogControls.h"
#include "EmulatedDevice.h"
#include "ui/common/DialogBuilder.h"
#include "ui/common/UpDownControl.h"
#include "ui/settings/MicrostepTableDialog.h"
#include "ui/settings/SettingsTemplates.h"

namespace kavri::ui {
namespace {

using namespace microstep_ids;
using test::EmulatedDevice;

using test_controls::Control;
using test_controls::Press;

std::vector<int> DeviceTable(const EmulatedDevice& env) {
    return {env.device->microstepTable, env.device->microstepTable + env.device->microstepCount};
}

std::vector<int> ControllerTable(const EmulatedDevice& env) {
    const std::vector<uint8_t> t = env.emulator.MicrostepTable();
    return {t.begin(), t.end()};
}

// A controller with an 8-entry table that is not symmetric.
class MicrostepTableDialogTest : public ::testing::Test {
protected:
    MicrostepTableDialogTest() {
        env.emulator.SetMicrostepTable({0, 60, 120, 200, 255, 210, 130, 70});
        EXPECT_TRUE(env.device->FWzm());
    }

    EmulatedDevice env;
};

TEST_F(MicrostepTableDialogTest, OpeningShowsTheHalfTableAndMirrorsTheDeviceCopy) {
    MicrostepTableDialog dialog(env.device.get());
    EXPECT_EQ(Control<QPlainTextEdit>(dialog, kTableEdit)->toPlainText(), "0 60 120 200 255 ");
    EXPECT_EQ(Control<QLineEdit>(dialog, kPowEdit)->text(), "1.0");
    EXPECT_EQ(DeviceTable(env), (std::vector<int>{0, 60, 120, 200, 255, 200, 120, 60}));
    EXPECT_EQ(ControllerTable(env), (std::vector<int>{0, 60, 120, 200, 255, 210, 130, 70}));
}

TEST_F(MicrostepTableDialogTest, GeneratorsUseTheExponentShown) {
    MicrostepTableDialog dialog(env.device.get());
    Press(dialog, kSin);
    EXPECT_EQ(DeviceTable(env), (std::vector<int>{0, 103, 185, 237, 255, 237, 185, 103}));
    // The arrows set the exponent to a whole number and bend the same shape again.
    auto* pow = Control<UpDownControl>(dialog, kPowSpin);
    pow->Click(false);
    EXPECT_EQ(Control<QLineEdit>(dialog, kPowEdit)->text(), "-1");
    pow->Click(true);
    EXPECT_EQ(Control<QLineEdit>(dialog, kPowEdit)->text(), "0");
    EXPECT_EQ(DeviceTable(env), (std::vector<int>{0, 97, 180, 236, 255, 236, 180, 97}));
    EXPECT_EQ(Control<QPlainTextEdit>(dialog, kTableEdit)->toPlainText(), "0 97 180 236 255 ");
}

TEST_F(MicrostepTableDialogTest, AfterTypingTheExponentChangesNothingUntilAGeneratorRuns) {
    MicrostepTableDialog dialog(env.device.get());
    Press(dialog, kSin);
    auto* text = Control<QPlainTextEdit>(dialog, kTableEdit);
    text->selectAll();
    QTest::keyClicks(text, "0 50 100");
    const std::vector<int> typed{0, 50, 100, 237, 255, 237, 100, 50};
    EXPECT_EQ(DeviceTable(env), typed);

    auto* pow = Control<UpDownControl>(dialog, kPowSpin);
    pow->Click(true);
    pow->Click(true);
    EXPECT_EQ(DeviceTable(env), typed);
    EXPECT_EQ(text->toPlainText(), "0 50 100");

    Press(dialog, kSin);  // the exponent now reads 2
    EXPECT_NE(DeviceTable(env), typed);
    EXPECT_GT(DeviceTable(env)[1], 103);
}

TEST_F(MicrostepTableDialogTest, InverseFollowsTheBox) {
    MicrostepTableDialog dialog(env.device.get());
    Control<QLineEdit>(dialog, kPowEdit)->setText("0");
    Press(dialog, kSin);
    auto* inverse = Control<QCheckBox>(dialog, kInverse);
    inverse->click();
    const std::vector<int> inverted{255, 158, 75, 19, 0, 19, 75, 158};
    EXPECT_EQ(DeviceTable(env), inverted);
    inverse->click();
    EXPECT_EQ(DeviceTable(env)[0], 0);
    // With the box checked, a generator produces the inverted table directly.
    inverse->click();
    Press(dialog, kSin);
    EXPECT_EQ(DeviceTable(env), inverted);
}

TEST_F(MicrostepTableDialogTest, ApplySendsAndStaysOpenExitDoesNotSend) {
    MicrostepTableDialog dialog(env.device.get());
    dialog.show();
    Press(dialog, kSin);
    Press(dialog, kOkButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(ControllerTable(env), (std::vector<int>{0, 103, 185, 237, 255, 237, 185, 103}));
    EXPECT_TRUE(env.messages.empty());

    Press(dialog, kTan);
    Press(dialog, kCancelButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(ControllerTable(env), (std::vector<int>{0, 103, 185, 237, 255, 237, 185, 103}));
    EXPECT_EQ(DeviceTable(env)[2], 255);  // the device's copy keeps the unsent edit
}

TEST_F(MicrostepTableDialogTest, ATableWithAWordInItIsNotSent) {
    MicrostepTableDialog dialog(env.device.get());
    auto* text = Control<QPlainTextEdit>(dialog, kTableEdit);
    text->setPlainText("0 97 18o 236 255");  // the letter o in place of a zero
    Press(dialog, kOkButton);
    ASSERT_EQ(env.messages.size(), 1u);
    EXPECT_TRUE(env.messages[0].text.contains("18o"));
    text->setPlainText(" 0  97\n180 +236 255 ");  // any spacing, a sign: numbers all
    Press(dialog, kOkButton);
    EXPECT_EQ(env.messages.size(), 1u);
    EXPECT_EQ(env.emulator.CommandCount("FWym"), 1);
    EXPECT_EQ(ControllerTable(env), (std::vector<int>{0, 97, 180, 236, 255, 236, 180, 97}));
}

TEST_F(MicrostepTableDialogTest, ARefusedTableIsToldToTheUser) {
    MicrostepTableDialog dialog(env.device.get());
    env.emulator.AddFault({sim::FaultKind::kDrop, "FWym"});
    Press(dialog, kOkButton);
    ASSERT_EQ(env.messages.size(), 1u);
    EXPECT_EQ(env.messages[0].text, QStringLiteral("Контроллер не принял таблицу микрошагов."));
}

TEST_F(MicrostepTableDialogTest, DrawsTheLevelCurveAndACircleOfSpokes) {
    MicrostepTableDialog dialog(env.device.get());
    Press(dialog, kSin);
    const QImage image = dialog.grab().toImage();
    const MicrostepFigures figures = dialog.Figures();
    ASSERT_EQ(figures.levelCurve.size(), 9u);
    ASSERT_EQ(figures.currentPath.size(), 48u);
    // The square spans the dialog's width; the band above it stays high enough to read the
    // curve whatever the font's proportions.
    EXPECT_EQ(figures.square.right - figures.square.left, dialog.width() - 20);
    EXPECT_GE(figures.band.bottom - figures.band.top, 60);
    // Both areas are white where nothing is drawn, black along the lines.
    const auto pixel = [&](int x, int y) { return image.pixelColor(x, y); };
    EXPECT_EQ(pixel(figures.band.left + 2, figures.band.top + 2), QColor(Qt::white));
    EXPECT_EQ(pixel(figures.square.left + 2, figures.square.top + 2), QColor(Qt::white));
    const CurvePoint centre = figures.currentPath[0];
    EXPECT_EQ(pixel(centre.x, centre.y), QColor(Qt::black));
    const CurvePoint top = figures.levelCurve[4];
    EXPECT_EQ(pixel(top.x, top.y), QColor(Qt::black));
    const CurvePoint spoke = figures.currentPath[1];
    EXPECT_EQ(pixel(spoke.x, spoke.y), QColor(Qt::black));
}

TEST(MicrostepTableDialogCountsTest, NoTableShowsAndDrawsNothing) {
    EmulatedDevice env(nullptr, {{sim::FaultKind::kDrop, "FWzm"}});
    ASSERT_EQ(env.device->microstepCount, -1);
    MicrostepTableDialog dialog(env.device.get());
    Press(dialog, kSin);
    QTest::keyClicks(Control<QPlainTextEdit>(dialog, kTableEdit), "1 2 3");
    Control<QCheckBox>(dialog, kInverse)->click();
    EXPECT_TRUE(dialog.Figures().levelCurve.empty());
    EXPECT_TRUE(dialog.Figures().currentPath.empty());
    for (uint8_t level : env.device->microstepTable) ASSERT_EQ(level, 0);
}

}  // namespace
}  // namespace kavri::ui
