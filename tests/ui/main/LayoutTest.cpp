// The four dialogs' look, checked as a user would see them when connected, under the font the
// machine has (the fallback when the templates' face is missing): every text fits its control,
// no two controls overlap (frames excepted), all lie inside the window, and every Cyrillic
// letter renders. With KAVRI_UI_SHOTS set to a directory, each dialog is also saved there as a
// PNG to look at.
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <functional>

#include "MainDialogRig.h"
#include "ui/settings/FocuserSettingsDialog.h"
#include "ui/settings/MicrostepTableDialog.h"
#include "ui/settings/WheelSettingsDialog.h"

namespace kavri::ui::test {
namespace {

// The room a control's text needs beyond the text itself, and the text, when it shows one.
struct TextNeed {
    QString text;
    int extra = 0;
};

TextNeed NeedOf(const QWidget* w) {
    if (const auto* b = qobject_cast<const QPushButton*>(w)) return {b->text(), 6};  // its frame
    if (const auto* c = qobject_cast<const QCheckBox*>(w)) {
        // The indicator and the gap beside it, as the style lays the box out.
        QStyleOptionButton option;
        option.initFrom(c);
        option.text = c->text();
        return {c->text(),
                c->width() -
                    c->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, c).width()};
    }
    return {};
}

void ExpectNothingClippedOrOverlapping(QDialog& dialog) {
    SCOPED_TRACE(dialog.windowTitle().toStdString());
    QList<QWidget*> controls;
    for (QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<QGroupBox*>(w) == nullptr && w->isVisible()) controls << w;
    }
    ASSERT_GT(controls.size(), 5);
    const QRect window = dialog.rect();
    for (QWidget* w : controls) {
        const std::string name = w->objectName().toStdString();
        EXPECT_TRUE(window.contains(w->geometry())) << name;
        if (const auto* label = qobject_cast<QLabel*>(w)) {
            const QRect room = label->contentsRect();
            const QRect need = label->fontMetrics().boundingRect(
                room, label->alignment() | (label->wordWrap() ? Qt::TextWordWrap : 0),
                label->text());
            EXPECT_LE(need.width(), room.width()) << "clipped: " << label->text().toStdString();
            EXPECT_LE(need.height(), room.height()) << "clipped: " << label->text().toStdString();
            for (QChar c : label->text()) EXPECT_TRUE(label->fontMetrics().inFont(c) || c == '\n');
        }
        const TextNeed need = NeedOf(w);
        if (!need.text.isEmpty()) {
            EXPECT_LE(w->fontMetrics().horizontalAdvance(need.text) + need.extra, w->width())
                << "clipped: " << need.text.toStdString();
        }
        for (QWidget* other : controls) {
            if (other == w) continue;
            EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                << name << " overlaps " << other->objectName().toStdString() << " "
                << (qobject_cast<QLabel*>(w) ? qobject_cast<QLabel*>(w)->text().toStdString()
                                             : std::string());
        }
    }
    const QPixmap shot = dialog.grab();
    EXPECT_EQ(shot.size() / shot.devicePixelRatio(), dialog.size());
    const QString dir = qEnvironmentVariable("KAVRI_UI_SHOTS");
    if (!dir.isEmpty()) {
        EXPECT_TRUE(shot.save(
            QDir(dir).filePath(QStringLiteral("dialog-%1.png").arg(dialog.windowTitle().left(8)))));
    }
}

using LayoutTest = MainDialogRig;

TEST_F(LayoutTest, NoDialogHasAnythingClippedOrOverlapping) {
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
    ExpectNothingClippedOrOverlapping(*dialog_);

    const std::function<std::unique_ptr<QDialog>()> settings[] = {
        [this] { return std::make_unique<WheelSettingsDialog>(device_.get(), dialog_.get()); },
        [this] { return std::make_unique<FocuserSettingsDialog>(device_.get(), dialog_.get()); },
        [this] { return std::make_unique<MicrostepTableDialog>(device_.get(), dialog_.get()); },
    };
    for (const auto& make : settings) {
        const std::unique_ptr<QDialog> dialog = make();
        dialog->show();
        QApplication::processEvents();
        ExpectNothingClippedOrOverlapping(*dialog);
    }
}

}  // namespace
}  // namespace kavri::ui::test
