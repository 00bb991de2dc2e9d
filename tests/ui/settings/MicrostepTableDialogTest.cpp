// The microstep table dialog on an 8-entry controller table: the buttons and the exponent,
// typed tables, inversion, "Apply" and "Exit", and what it draws.
#include <QCheckBox>
#include <QPlainTextEdit>

#include "ui/common/UpDownControl.h"
#include "ui/main/MainDialogRig.h"
#include "ui/settings/MicrostepTableDialog.h"
#include "ui/settings/SettingsTemplates.h"

namespace kavri::ui::test {
namespace {

using namespace microstep_ids;
using Table = std::vector<int>;

class MicrostepTableDialogTest : public MainDialogRig {
protected:
    void SetUp() override {
        Start();
        emulator_->SetMicrostepTable({0, 60, 120, 200, 255, 210, 130, 70});  // not symmetric
        Connect();
        dialog = std::make_unique<MicrostepTableDialog>(device_.get());
    }
    Table Device() const { return {device_->microstepTable, device_->microstepTable + 8}; }
    Table Controller() const {
        const auto t = emulator_->MicrostepTable();
        return {t.begin(), t.end()};
    }
    QPlainTextEdit* Text() const { return Find<QPlainTextEdit>(*dialog, kTableEdit); }
    void Exponent(const char* text) const { Find<QLineEdit>(*dialog, kPowEdit)->setText(text); }

    std::unique_ptr<MicrostepTableDialog> dialog;
};

TEST_F(MicrostepTableDialogTest, OpeningShowsTheHalfTableAndMirrorsTheDeviceCopy) {
    EXPECT_EQ(Text()->toPlainText(), "0 60 120 200 255 ");
    EXPECT_EQ(Find<QLineEdit>(*dialog, kPowEdit)->text(), "1.0");
    EXPECT_EQ(Device(), (Table{0, 60, 120, 200, 255, 200, 120, 60}));
    EXPECT_EQ(Controller(), (Table{0, 60, 120, 200, 255, 210, 130, 70}));
}

// Each button runs its own curve through the exponent shown; the arrows set a whole exponent
// and bend the same curve again, until the table is typed.
TEST_F(MicrostepTableDialogTest, ButtonsAndTheExponentShapeTheTable) {
    Press(*dialog, kSin);
    EXPECT_EQ(Device(), (Table{0, 103, 185, 237, 255, 237, 185, 103}));
    auto* pow = Find<UpDownControl>(*dialog, kPowSpin);
    pow->Click(false);
    EXPECT_EQ(Find<QLineEdit>(*dialog, kPowEdit)->text(), "-1");
    pow->Click(true);
    const Table sine{0, 97, 180, 236, 255, 236, 180, 97};
    EXPECT_EQ(Device(), sine);
    EXPECT_EQ(Text()->toPlainText(), "0 97 180 236 255 ");

    Press(*dialog, kTan);
    EXPECT_EQ(Device(), (Table{0, 105, 255, 255, 255, 255, 255, 105}));
    Press(*dialog, kSinSin3);  // flatter top than the sine
    const Table flat = Device();
    EXPECT_EQ(flat[4], 255);
    EXPECT_GT(flat[1], sine[1]);
    EXPECT_LT(flat[2], 255);
    EXPECT_EQ(flat[7], flat[1]);

    Text()->selectAll();
    QTest::keyClicks(Text(), "0 50 100");
    const Table typed{0, 50, 100, flat[3], 255, flat[3], 100, 50};
    EXPECT_EQ(Device(), typed);
    pow->Click(true);
    pow->Click(true);
    EXPECT_EQ(Device(), typed);
    Press(*dialog, kSin);  // the exponent now reads 2
    EXPECT_GT(Device()[1], 103);
}

TEST_F(MicrostepTableDialogTest, InverseFollowsTheBox) {
    Exponent("0");
    Press(*dialog, kSin);
    auto* inverse = Find<QCheckBox>(*dialog, kInverse);
    inverse->click();
    const Table inverted{255, 158, 75, 19, 0, 19, 75, 158};
    EXPECT_EQ(Device(), inverted);
    inverse->click();
    EXPECT_EQ(Device()[1], 97);
    inverse->click();  // with the box checked, a button gives the inverted table directly
    Press(*dialog, kSin);
    EXPECT_EQ(Device(), inverted);
}

TEST_F(MicrostepTableDialogTest, ApplySendsAndStaysOpenExitDoesNot) {
    dialog->show();
    Text()->setPlainText("0 97 18o 236 255");  // the letter o in place of a zero: not sent
    Press(*dialog, kOkButton);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_TRUE(messages_[0].text.contains("18o"));
    EXPECT_EQ(Sent("FWym"), 0);

    Text()->setPlainText(" 0  97\n180 +236 255 ");  // any spacing, a sign: numbers all
    Press(*dialog, kOkButton);
    EXPECT_TRUE(dialog->isVisible());
    const Table sent{0, 97, 180, 236, 255, 236, 180, 97};
    EXPECT_EQ(Controller(), sent);
    EXPECT_EQ(messages_.size(), 1u);

    emulator_->AddFault({sim::FaultKind::kDrop, "FWym"});
    Press(*dialog, kOkButton);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[1].text, QStringLiteral("Контроллер не принял таблицу микрошагов."));

    Press(*dialog, kTan);
    Press(*dialog, kCancelButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(Controller(), sent);
    EXPECT_EQ(Device()[2], 255);  // the device's copy keeps the unsent edit
}

TEST_F(MicrostepTableDialogTest, DrawsTheLevelCurveAndACircleOfSpokes) {
    Press(*dialog, kSin);
    const QImage image = dialog->grab().toImage();
    const MicrostepFigures figures = dialog->Figures();
    ASSERT_EQ(figures.levelCurve.size(), 9u);
    ASSERT_EQ(figures.currentPath.size(), 48u);
    // The band above the square stays high enough to read the curve whatever the font.
    EXPECT_GE(figures.band.bottom - figures.band.top, 60);
    // White where nothing is drawn, black along the lines.
    const auto pixel = [&](CurvePoint p) { return image.pixelColor(p.x, p.y); };
    EXPECT_EQ(pixel({figures.band.left + 2, figures.band.top + 2}), QColor(Qt::white));
    EXPECT_EQ(pixel({figures.square.left + 2, figures.square.top + 2}), QColor(Qt::white));
    for (CurvePoint p : {figures.currentPath[0], figures.currentPath[1], figures.levelCurve[4]})
        EXPECT_EQ(pixel(p), QColor(Qt::black)) << p.x << "," << p.y;
}

using MicrostepTableWithoutATable = MainDialogRig;

TEST_F(MicrostepTableWithoutATable, ShowsChangesAndDrawsNothing) {
    Start();
    emulator_->AddFault({sim::FaultKind::kDrop, "FWzm"});  // no table read at connection
    Connect();
    ASSERT_EQ(device_->microstepCount, -1);
    MicrostepTableDialog dialog(device_.get());
    Press(dialog, kSin);
    QTest::keyClicks(Find<QPlainTextEdit>(dialog, kTableEdit), "1 2 3");
    Find<QCheckBox>(dialog, kInverse)->click();
    EXPECT_TRUE(dialog.Figures().levelCurve.empty());
    EXPECT_TRUE(dialog.Figures().currentPath.empty());
    for (uint8_t level : device_->microstepTable) ASSERT_EQ(level, 0);
}

}  // namespace
}  // namespace kavri::ui::test
