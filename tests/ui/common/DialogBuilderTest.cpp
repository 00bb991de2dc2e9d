// The builder: dialog-unit mapping, one widget per template control with its id, kind, style
// and place, the tab order, and the up-down control's stepping rules.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "ui/common/DialogBuilder.h"
#include "ui/common/ReportListView.h"
#include "ui/common/UpDownControl.h"

namespace kavri::ui {
namespace {

DialogTemplate SampleTemplate() {
    DialogTemplate t;
    t.id = 900;
    t.caption = QStringLiteral("Проба");
    t.width = 200;
    t.height = 100;
    t.style = DialogStyle::MinimizeBox;
    t.controls = {
        {kNoControlId, ControlKind::GroupBox, 0, QStringLiteral("Порт"), 4, 4, 120, 40, {}},
        {10, ControlKind::ComboBox, Style::VScroll, {}, 8, 14, 48, 80, {"Auto", "COM1", "COM2"}},
        {11, ControlKind::PushButton, Style::Disabled, "Go", 60, 14, 30, 14, {}},
        {12, ControlKind::Edit, 0, {}, 8, 50, 40, 14, {}},
        {13,
         ControlKind::UpDown,
         Style::AutoBuddy | Style::AlignRight | Style::ArrowKeys,
         {},
         80,
         50,
         11,
         14,
         {}},
        {14, ControlKind::Edit, Style::ReadOnly | Style::NoBorder, {}, 100, 50, 20, 14, {}},
        {15, ControlKind::CheckBox, Style::ThreeState, {}, 130, 50, 16, 8, {}},
        {16, ControlKind::CheckBox, Style::AutoCheck, "Да", 130, 62, 40, 10, {}},
        {kNoControlId, ControlKind::Static, Style::Centered, "a\nb", 150, 4, 40, 20, {}},
        {17,
         ControlKind::ListView,
         Style::SingleSelection | Style::EditLabels,
         {},
         4,
         76,
         190,
         20,
         {}},
    };
    return t;
}

TEST(DialogUnitsTest, MapsCornersWithRounding) {
    const DialogUnits units(6, 13);
    EXPECT_EQ(units.X(4), 6);
    EXPECT_EQ(units.Y(8), 13);
    EXPECT_EQ(units.X(1), 2);  // 1.5 rounds up
    EXPECT_EQ(units.Y(-8), -13);
    // Adjacent rectangles share their edge: the width is the difference of mapped corners.
    const QRect a = units.Rect(7, 7, 3, 3);
    const QRect b = units.Rect(10, 10, 3, 3);
    EXPECT_EQ(a.right() + 1, b.left());
    EXPECT_EQ(a.bottom() + 1, b.top());
    EXPECT_EQ(units.Rect(0, 0, 218, 274), QRect(0, 0, 327, 445));
}

TEST(DialogUnitsTest, FollowsTheFontMetrics) {
    QFont small = DialogFont("MS Sans Serif", 8);
    QFont large = small;
    large.setPointSize(16);
    const DialogUnits a(small), b(large);
    EXPECT_GT(b.cx(), a.cx());
    EXPECT_GT(b.cy(), a.cy());
    EXPECT_EQ(a.cy(), QFontMetrics(small).height());
}

TEST(DialogFontTest, FallsBackToAFamilyThatRendersCyrillic) {
    const QFont font = DialogFont("No Such Face 1234", 8);
    EXPECT_EQ(font.pointSize(), 8);
    EXPECT_NE(font.family(), "No Such Face 1234");
    const QFontMetrics metrics(font);
    EXPECT_TRUE(metrics.inFont(QChar(0x0424)));  // Ф
    EXPECT_TRUE(metrics.inFont(QChar(0x0448)));  // ш
}

TEST(BuildDialogTest, CreatesEveryControlWithItsIdKindAndStyle) {
    QDialog dialog;
    const DialogTemplate t = SampleTemplate();
    const DialogUnits units = BuildDialog(dialog, t);

    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Проба"));
    EXPECT_EQ(dialog.size(), QSize(units.X(200), units.Y(100)));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());  // not resizable
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);

    auto* combo = FindControlAs<QComboBox>(dialog, 10);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(1), "COM1");
    EXPECT_EQ(combo->objectName(), "ctl10");
    EXPECT_EQ(ControlId(combo), 10);

    auto* go = FindControlAs<QPushButton>(dialog, 11);
    ASSERT_NE(go, nullptr);
    EXPECT_FALSE(go->isEnabled());
    EXPECT_EQ(go->geometry(), units.Rect(60, 14, 30, 14));

    auto* display = FindControlAs<QLineEdit>(dialog, 14);
    ASSERT_NE(display, nullptr);
    EXPECT_TRUE(display->isReadOnly());
    EXPECT_FALSE(display->hasFrame());
    EXPECT_NE(FindControlAs<ReportListView>(dialog, 17), nullptr);
    EXPECT_EQ(FindControl(dialog, 99), nullptr);
    EXPECT_EQ(ControlId(nullptr), kNoControlId);

    const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_TRUE(labels[0]->alignment() & Qt::AlignHCenter);
    EXPECT_TRUE(labels[0]->wordWrap());
    EXPECT_EQ(dialog.findChildren<QGroupBox*>().size(), 1);
}

// Texts wider than their place: a label running under a button gives up the covered part, a
// far too long text is cut with an ellipsis and shown whole as a tool tip. (The four dialogs'
// layout check covers the smaller font.)
TEST(BuildDialogTest, TextsAreKeptInsideTheirControls) {
    const QString longText = QStringLiteral("Очень длинная подпись, которой здесь не место");
    DialogTemplate t;
    t.width = 200;
    t.height = 60;
    t.controls = {
        {20, ControlKind::Static, 0, QStringLiteral("Скорость (шаги в секунду)"), 4, 4, 90, 8, {}},
        {21, ControlKind::PushButton, 0, QStringLiteral("Cancel"), 90, 2, 50, 14, {}},
        {22, ControlKind::Static, 0, longText, 4, 20, 60, 8, {}},
        {23, ControlKind::CheckBox, Style::AutoCheck, QStringLiteral("Inverse"), 4, 34, 20, 10, {}},
        {24, ControlKind::Static, 0, QStringLiteral("Шаг"), 150, 4, 30, 8, {}},
    };
    QDialog dialog;
    const DialogUnits units = BuildDialog(dialog, t);
    EXPECT_EQ(FindControl(dialog, 20)->geometry().right() + 1, units.X(90));  // up to Cancel
    const auto* cut = FindControlAs<QLabel>(dialog, 22);
    EXPECT_LE(cut->fontMetrics().horizontalAdvance(cut->text()), cut->contentsRect().width());
    EXPECT_TRUE(cut->text().endsWith(QChar(0x2026)));
    EXPECT_EQ(cut->toolTip(), longText);
    const auto* box = FindControlAs<QCheckBox>(dialog, 23);
    EXPECT_NE(box->text(), QStringLiteral("Inverse"));  // too narrow even in a smaller font
    EXPECT_EQ(box->toolTip(), QStringLiteral("Inverse"));
    // A text with room keeps the dialog's font and its place.
    const auto* roomy = FindControlAs<QLabel>(dialog, 24);
    EXPECT_EQ(roomy->font(), dialog.font());
    EXPECT_EQ(roomy->geometry(), units.Rect(150, 4, 30, 8));
    EXPECT_EQ(roomy->text(), QStringLiteral("Шаг"));
}

// The next widget Tab would reach from `from`.
QWidget* NextTabStop(QWidget* from) {
    for (QWidget* w = from->nextInFocusChain(); w != from; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) != 0) return w;
    }
    return nullptr;
}

TEST(BuildDialogTest, TabOrderFollowsTheTemplate) {
    QDialog dialog;
    BuildDialog(dialog, SampleTemplate());
    EXPECT_EQ(NextTabStop(FindControl(dialog, 10)), FindControl(dialog, 11));
    EXPECT_EQ(NextTabStop(FindControl(dialog, 11)), FindControl(dialog, 12));
    EXPECT_EQ(NextTabStop(FindControl(dialog, 12)), FindControl(dialog, 14));  // arrows skipped
    EXPECT_EQ(NextTabStop(FindControl(dialog, 14)), FindControl(dialog, 15));
    EXPECT_EQ(NextTabStop(FindControl(dialog, 16)), FindControl(dialog, 17));
}

TEST(BuildDialogTest, ManualThreeStateBoxKeepsItsStateOnClick) {
    QDialog dialog;
    BuildDialog(dialog, SampleTemplate());
    auto* manual = FindControlAs<QCheckBox>(dialog, 15);
    auto* automatic = FindControlAs<QCheckBox>(dialog, 16);
    ASSERT_NE(manual, nullptr);
    ASSERT_NE(automatic, nullptr);
    EXPECT_TRUE(manual->isTristate());
    manual->setCheckState(Qt::PartiallyChecked);
    QSignalSpy clicks(manual, &QCheckBox::clicked);
    manual->click();
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(manual->checkState(), Qt::PartiallyChecked);
    automatic->click();
    EXPECT_TRUE(automatic->isChecked());
}

TEST(UpDownControlTest, AlignsOnItsBuddyAndNarrowsIt) {
    QDialog dialog;
    const DialogUnits units = BuildDialog(dialog, SampleTemplate());
    auto* spin = FindControlAs<UpDownControl>(dialog, 13);
    QWidget* buddy = FindControl(dialog, 12);
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->Buddy(), buddy);
    const QRect original = units.Rect(8, 50, 40, 14);
    EXPECT_EQ(buddy->geometry().left(), original.left());
    EXPECT_EQ(buddy->geometry().right() + 1, spin->geometry().left());
    EXPECT_EQ(spin->geometry().right(), original.right());
    EXPECT_EQ(spin->height(), original.height());
}

TEST(UpDownControlTest, DefaultRangeRunsBackwardsAndReportsAtItsEnds) {
    UpDownControl spin(0);
    QSignalSpy deltas(&spin, &UpDownControl::DeltaPos);
    spin.Click(true);
    spin.Click(true);
    spin.Click(false);
    ASSERT_EQ(deltas.count(), 3);
    EXPECT_EQ(deltas[0][0].toInt(), -1);  // up arrow with the range 100..0
    EXPECT_EQ(deltas[1][0].toInt(), -1);  // still reported at the range's end
    EXPECT_EQ(deltas[2][0].toInt(), 1);
    EXPECT_EQ(spin.Position(), 1);
}

TEST(UpDownControlTest, ForwardRangeWritesItsBuddyAndStopsAtTheEnds) {
    QWidget parent;
    auto* edit = new QLineEdit(&parent);
    UpDownControl spin(Style::SetBuddyInt | Style::ArrowKeys, &parent);
    spin.SetRange(-1000, 1000);
    spin.SetBuddy(edit);
    edit->setText("999");
    spin.Click(true);
    EXPECT_EQ(edit->text(), "1000");
    spin.Click(true);
    EXPECT_EQ(edit->text(), "1000");
    edit->setText("5000");  // outside the range: the arrows go on from the last position
    spin.Click(false);
    EXPECT_EQ(edit->text(), "999");
    edit->setText("-7");
    QTest::keyClick(edit, Qt::Key_Down);  // arrow keys in the buddy
    EXPECT_EQ(edit->text(), "-8");
    QTest::keyClick(edit, Qt::Key_Up);
    EXPECT_EQ(edit->text(), "-7");
    spin.setEnabled(false);
    spin.Click(true);
    EXPECT_EQ(edit->text(), "-7");
}

TEST(UpDownControlTest, ArrowButtonsStep) {
    UpDownControl spin(0);
    spin.resize(11, 20);
    spin.SetRange(0, 10);
    QSignalSpy deltas(&spin, &UpDownControl::DeltaPos);
    QTest::mouseClick(spin.UpArrow(), Qt::LeftButton);
    QTest::mouseClick(spin.UpArrow(), Qt::LeftButton);
    QTest::mouseClick(spin.DownArrow(), Qt::LeftButton);
    ASSERT_EQ(deltas.count(), 3);
    EXPECT_EQ(deltas[2][0].toInt(), -1);
    EXPECT_EQ(spin.Position(), 1);
}

}  // namespace
}  // namespace kavri::ui
