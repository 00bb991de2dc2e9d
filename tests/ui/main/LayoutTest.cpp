// The main dialog's look, checked as a user would see it when connected: every text fits its
// control, no two controls overlap (frames excepted), all lie inside the window. With
// KAVRI_UI_SHOTS set to a directory, the dialog is also saved there as a PNG to look at.
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "MainDialogRig.h"

namespace kavri::ui::test {
namespace {

class LayoutTest : public MainDialogRig {
protected:
    // The dialog's direct children that are controls of the template, frames left out.
    QList<QWidget*> Controls() const {
        QList<QWidget*> controls;
        for (QWidget* w : dialog_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (qobject_cast<QGroupBox*>(w) == nullptr && w->isVisible()) controls << w;
        }
        return controls;
    }
};

TEST_F(LayoutTest, ConnectedDialogHasNothingClippedOrOverlapping) {
    Start();
    emulator_->SetFocuserPosition(-12345);
    emulator_->SetTemperature(0, -1225);
    emulator_->SetCompensationThermometer(0);
    emulator_->SetCurrentFilter(2);
    Connect();
    Edit(ControlIds::ThermometerName0)->setText(QStringLiteral("Зеркало"));
    Edit(ControlIds::ThermometerName0 + 1)->setText(QStringLiteral("Воздух"));
    dialog_->OnTimer();  // the panel live: temperatures, position, direction, icons
    ASSERT_EQ(Edit(ControlIds::PositionDisplay)->text(), "-12345");
    QApplication::processEvents();

    const QRect window = dialog_->rect();
    const QList<QWidget*> controls = Controls();
    ASSERT_GT(controls.size(), 30);
    for (QWidget* w : controls) {
        EXPECT_TRUE(window.contains(w->geometry())) << w->objectName().toStdString();
        QString text;
        int room = w->width();
        if (auto* b = qobject_cast<QPushButton*>(w)) {
            text = b->text();
            room -= 6;  // the button's frame
        } else if (auto* l = qobject_cast<QLabel*>(w); l != nullptr && !l->wordWrap()) {
            text = l->text();
        }
        if (!text.isEmpty()) {
            EXPECT_LE(w->fontMetrics().horizontalAdvance(text), room)
                << "clipped: " << text.toStdString();
        }
        for (QWidget* other : controls) {
            if (other == w) continue;
            EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                << w->objectName().toStdString() << " overlaps "
                << other->objectName().toStdString() << " "
                << (qobject_cast<QLabel*>(w) ? qobject_cast<QLabel*>(w)->text().toStdString()
                                             : std::string());
        }
    }
    // Every label of the template renders its Cyrillic letters with the dialog's font.
    for (QLabel* label : dialog_->findChildren<QLabel*>()) {
        for (QChar c : label->text()) EXPECT_TRUE(label->fontMetrics().inFont(c) || c == '\n');
    }

    const QPixmap shot = dialog_->grab();
    EXPECT_EQ(shot.size() / shot.devicePixelRatio(), dialog_->size());
    const QString dir = qEnvironmentVariable("KAVRI_UI_SHOTS");
    if (!dir.isEmpty()) {
        EXPECT_TRUE(shot.save(QDir(dir).filePath("main-dialog.png")));
    }
}

}  // namespace
}  // namespace kavri::ui::test
