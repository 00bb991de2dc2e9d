// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog builder and the common controls: dialog units, the widgets a template gives, texts
// kept inside their controls, the up-down arrows, the row icons and the Qt timers.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "ui/qt/DialogBuilder.h"
#include "ui/qt/QtTimerService.h"
#include "ui/qt/RowIcons.h"
#include "ui/qt/UpDownControl.h"

namespace kavri::ui {
namespace {

TEST(DialogUnitsTest, MapsCornersWithRounding) {
    const DialogUnits units(6, 13);
    EXPECT_EQ(units.X(1), 2);  // 1.5 rounds up
    EXPECT_EQ(units.Y(-8), -13);
    // Adjacent rectangles share their edge: the width is the difference of mapped corners.
    EXPECT_EQ(units.Rect(7, 7, 3, 3).right() + 1, units.Rect(10, 10, 3, 3).left());
    EXPECT_EQ(units.Rect(0, 0, 218, 274), QRect(0, 0, 327, 445));
}

// Each control with its id, style and place in the tab order; texts wider than their place
// under a wider font: a label gives up the part a button covers, then a text still too wide
// is cut with an ellipsis and shown whole as a tool tip.
TEST(BuildDialogTest, CreatesEveryControlAndKeepsTextsInside) {
    const std::string longText = "Очень длинная подпись, которой здесь не место";
    DialogTemplate t;
    t.caption = "Проба";
    t.width = 200;
    t.height = 100;
    t.style = DialogStyle::MinimizeBox;
    t.controls = {
        {10, ControlKind::ComboBox, 0, {}, 8, 80, 48, 80, {"Auto", "COM1"}},
        {11, ControlKind::PushButton, Style::Disabled, "Cancel", 90, 2, 50, 14, {}},
        {12, ControlKind::Edit, 0, {}, 8, 50, 40, 14, {}},
        {13, ControlKind::UpDown, Style::AutoBuddy | Style::AlignRight, {}, 80, 50, 11, 14, {}},
        {14, ControlKind::Edit, Style::ReadOnly, {}, 100, 50, 20, 14, {}},
        {20, ControlKind::Static, 0, "Скорость (шаги в секунду)", 4, 4, 90, 8, {}},
        {22, ControlKind::Static, Style::Centered, longText, 4, 20, 60, 8, {}},
    };
    QDialog dialog;
    const DialogUnits units = BuildDialog(dialog, t);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Проба"));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());  // not resizable
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(FindControlAs<QComboBox>(dialog, 10)->itemText(1), "COM1");
    EXPECT_FALSE(FindControl(dialog, 11)->isEnabled());
    EXPECT_TRUE(FindControlAs<QLineEdit>(dialog, 14)->isReadOnly());
    EXPECT_EQ(FindControlAs<UpDownControl>(dialog, 13)->Buddy(), FindControl(dialog, 12));
    const auto next = [](QWidget* w) {  // the next stop of Tab, past the arrows
        do w = w->nextInFocusChain();
        while ((w->focusPolicy() & Qt::TabFocus) == 0);
        return w;
    };
    EXPECT_EQ(next(FindControl(dialog, 10)), FindControl(dialog, 11));
    EXPECT_EQ(next(FindControl(dialog, 12)), FindControl(dialog, 14));
    EXPECT_EQ(FindControl(dialog, 20)->geometry().right() + 1, units.X(90));  // up to Cancel
    const auto* cut = FindControlAs<QLabel>(dialog, 22);
    EXPECT_TRUE(cut->alignment() & Qt::AlignHCenter);
    EXPECT_LE(cut->fontMetrics().horizontalAdvance(cut->text()), cut->contentsRect().width());
    EXPECT_TRUE(cut->text().endsWith(QChar(0x2026)));
    EXPECT_EQ(cut->toolTip(), QString::fromStdString(longText));
}

// The default range runs from 100 down to 0, so the up arrow reports -1, also at the range's
// end; disabled arrows report nothing.
TEST(UpDownControlTest, ArrowsReportAndStepWithinTheRange) {
    UpDownControl spin(0);
    spin.resize(11, 20);
    QSignalSpy deltas(&spin, &UpDownControl::DeltaPos);
    for (QWidget* arrow : {spin.UpArrow(), spin.UpArrow(), spin.DownArrow()})
        QTest::mouseClick(arrow, Qt::LeftButton);
    ASSERT_EQ(deltas.count(), 3);
    EXPECT_EQ(deltas[0][0].toInt(), -1);
    EXPECT_EQ(deltas[1][0].toInt(), -1);
    EXPECT_EQ(deltas[2][0].toInt(), 1);
    EXPECT_EQ(spin.Position(), 1);
    spin.setEnabled(false);
    spin.Click(true);
    EXPECT_EQ(deltas.count(), 3);
}

TEST(RowIconsTest, TwoDiscsOnATransparentBackground) {
    const QList<QIcon> icons = LoadRowIcons();
    ASSERT_EQ(icons.size(), 2);
    const QImage plain = icons[0].pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage current = icons[1].pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(plain.pixel(0, 0)), 0);
    EXPECT_EQ(QColor(plain.pixel(8, 8)), QColor(0, 255, 255));
    EXPECT_EQ(QColor(current.pixel(8, 8)), QColor(255, 255, 0));
}

TEST(QtTimerServiceTest, TicksOnTheEventLoopUntilStoppedFromItsCallback) {
    QtTimerService timers;
    int ticks = 0;
    int id = 0;
    id = timers.StartTimer(15, 10, [&] {
        if (++ticks == 3) timers.StopTimer(id);
    });
    EXPECT_EQ(id, 15);
    EXPECT_NE(timers.StartTimer(15, 1000, [] {}), 15);  // taken: another id
    EXPECT_TRUE(QTest::qWaitFor([&] { return !timers.IsRunning(15); }, 10000));
    QTest::qWait(50);
    EXPECT_EQ(ticks, 3);
}

}  // namespace
}  // namespace kavri::ui
