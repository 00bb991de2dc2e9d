// Row icons from their bitmap resource and timers on the Qt event loop.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QTest>

#include "ui/common/QtTimerService.h"
#include "ui/common/RowIcons.h"

namespace kavri::ui {
namespace {

TEST(RowIconsTest, TwoDiscsOnATransparentBackground) {
    const QList<QIcon> icons = LoadRowIcons();
    ASSERT_EQ(icons.size(), 2);
    const QImage plain = icons[0].pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage current = icons[1].pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(plain.size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(plain.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(current.pixel(15, 15)), 0);
    EXPECT_EQ(QColor(plain.pixel(8, 8)), QColor(0, 255, 255));
    EXPECT_EQ(QColor(current.pixel(8, 8)), QColor(255, 255, 0));
    EXPECT_EQ(QColor(plain.pixel(8, 2)), QColor(128, 128, 128));  // outline
    EXPECT_EQ(QColor(current.pixel(8, 2)), QColor(0, 0, 0));
}

TEST(RowIconsTest, MissingBitmapGivesNoImages) {
    EXPECT_TRUE(LoadImageStrip(":/kavri/bitmap/none.bmp", 16, Qt::magenta).isEmpty());
}

TEST(QtTimerServiceTest, TicksOnTheEventLoopUntilStoppedFromItsCallback) {
    QtTimerService timers;
    int ticks = 0;
    int id = 0;
    id = timers.StartTimer(15, 10, [&] {
        if (++ticks == 3) timers.StopTimer(id);
    });
    EXPECT_EQ(id, 15);
    EXPECT_TRUE(timers.IsRunning(15));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !timers.IsRunning(15); }, 10000));
    QTest::qWait(50);
    EXPECT_EQ(ticks, 3);
}

TEST(QtTimerServiceTest, TakenOrInvalidIdsAreReplaced) {
    QtTimerService timers;
    const int a = timers.StartTimer(1, 1000, [] {});
    const int b = timers.StartTimer(1, 1000, [] {});
    const int c = timers.StartTimer(0, 1000, [] {});
    EXPECT_EQ(a, 1);
    EXPECT_NE(b, a);
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
    EXPECT_EQ(timers.StartTimer(5, 1000, nullptr), 0);
    timers.StopTimer(12345);  // unknown: ignored
    timers.StopTimer(b);
    EXPECT_FALSE(timers.IsRunning(b));
    EXPECT_TRUE(timers.IsRunning(a));
}

}  // namespace
}  // namespace kavri::ui
