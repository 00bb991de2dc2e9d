// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt front end over its real widgets: the program's run from start to exit, what the mouse
// and the keyboard do through the window's own event handling (the double click that passes
// through the cell editor, the editor's arrows, keys), and the look of all four dialogs under
// the font this machine has.
#include <QAbstractItemDelegate>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

#include "../dialogs/DialogRig.h"
#include "persist/RegistrySettings.h"
#include "ui/dialogs/FocuserSettingsDialog.h"
#include "ui/dialogs/MicrostepTableDialog.h"
#include "ui/dialogs/SettingsTemplates.h"
#include "ui/dialogs/WheelSettingsDialog.h"
#include "ui/qt/ControlApp.h"
#include "ui/qt/QtDialog.h"
#include "ui/qt/ReportListView.h"
#include "ui/qt/UpDownControl.h"
#include "ui/qt/UserPrompts.h"

namespace kavri::ui::test {
namespace {

template <typename T = QWidget>
T* Find(const QWidget& dialog, int id) {
    T* control = FindControlAs<T>(dialog, id);
    EXPECT_NE(control, nullptr) << "control " << id;
    return control;
}

void Press(const QWidget& dialog, int id) {
    QTest::mouseClick(Find(dialog, id), Qt::LeftButton);
}

// The rig's device and emulator, with the main dialog's behaviour in a real Qt window.
class QtDialogTest : public DialogRig {
protected:
    // The main dialog over a device on COM1, shown and connected.
    void Open(sim::EmulatorOptions options = {}) {
        Start(options);
        window_.reset();
        qt_ = std::make_unique<QtDialog>(ControlDialogTemplate(), *dialog_);
        qt_->show();
        QApplication::setActiveWindow(qt_.get());
        Press(*qt_, Id::Connect);
        ASSERT_NE(device_->port, nullptr);
    }
    void TearDown() override {
        qt_.reset();
        DialogRig::TearDown();
    }
    ReportListView* List() const { return Find<ReportListView>(*qt_, Id::FilterList); }
    QLineEdit* CellEditor() const { return FindControlAs<QLineEdit>(*qt_, Id::CellEditor); }

    std::unique_ptr<QtDialog> qt_;
    std::vector<MessageRequest> messages_;
    ScopedPromptHandlers prompts_{[this](const MessageRequest& m) { messages_.push_back(m); }};
};

// The program runs from start to exit: a warning of the settings store (values kept where other
// programs may not look) told once as it starts, the connection made and closed before the
// device goes, the settings dialog opened from the main one, what was typed and chosen saved,
// and what another program saved meanwhile kept.
TEST_F(QtDialogTest, TheProgramRunsWarnsOnceAndSavesWhatWasChosen) {
    Start();  // the emulator and the port map; the rig's own dialog is not used
    window_.reset();
    dialog_.reset();
    device_.reset();
    class WarningStore : public MemorySettingsStore {
    public:
        std::string StorageWarning() const override { return "saved for this user only"; }
    } store;
    bool wasConnected = false, closedBeforeTheDeviceWent = false, wheelOpened = false;
    ControlApp program(store);
    program.SetDialogHook([&](QtDialog& dialog, ControlDialog&, WheelFocuserDevice& device) {
        QTimer::singleShot(0, &dialog, [&] {
            QTest::keyClick(Find(dialog, Id::ThermometerName0), Qt::Key_Return);  // connects
            wasConnected = device.port != nullptr;
            store.SetValue(DriverKey, "MinMotorStep", SettingsValue::Dword(25));  // another program
            QTimer::singleShot(0, [&] {
                auto* wheel = qobject_cast<QtDialog*>(QApplication::activeModalWidget());
                wheelOpened = wheel != nullptr;
                if (wheel != nullptr) Press(*wheel, kOkButton);
            });
            Press(dialog, Id::WheelSettings);
            Find<QLineEdit>(dialog, Id::ThermometerName0)->setText(QStringLiteral("Main"));
            Find<QComboBox>(dialog, Id::PortCombo)->setCurrentIndex(3);  // disabled, but set
            Press(dialog, Id::Exit);
            closedBeforeTheDeviceWent = device.port == nullptr;
        });
    });
    EXPECT_FALSE(program.InitInstance());
    EXPECT_TRUE(wasConnected);
    EXPECT_TRUE(wheelOpened);
    EXPECT_TRUE(closedBeforeTheDeviceWent);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "saved for this user only");
    EXPECT_EQ(messages_[0].icon, MessageIcon::Warning);
    const WheelFocuserDevice saved(store, timers_);
    EXPECT_EQ(saved.TermometerName[0], "Main");
    EXPECT_EQ(saved.settings.ComPort, 3);
    EXPECT_EQ(saved.MinMotorStep, 25);  // saves write only what this program changed
}

// A double click as the window system delivers it: every event goes to the widget under the
// pointer at that moment, so after the first click has opened a cell editor the rest of the
// double click reaches the editor, or its arrows, not the list. It selects the row's filter and
// the editor closes unstored; a double click inside an editor already open selects text.
TEST_F(QtDialogTest, DoubleClickThroughTheCellEditorSelectsTheRowsFilter) {
    Open();
    const struct {
        int row, column;
        bool rightEdge;    // at the cell's right end, where the editor's arrows appear
        bool secondPress;  // a press arrives before the double click (as from X11)
    } cases[] = {
        {1, 0, false, true}, {3, 3, false, true}, {4, 3, true, true}, {0, 2, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "cell " << c.row << "," << c.column);
        const QRect cell = List()->CellRect(c.row, c.column);
        const QPoint at = c.rightEdge ? QPoint(cell.right() - 7, cell.center().y()) : cell.center();
        const QPoint inDialog = List()->viewport()->mapTo(qt_.get(), at);
        auto send = [&](QTest::MouseAction action) {
            QWidget* target = qt_->childAt(inDialog);
            ASSERT_NE(target, nullptr);
            QTest::mouseEvent(action, target, Qt::LeftButton, {},
                              target->mapFrom(qt_.get(), inDialog));
        };
        const int writes = Sent("FWwriteEE");
        send(QTest::MousePress);
        send(QTest::MouseRelease);
        ASSERT_EQ(qt_->CellEditorOpen(), c.column >= 2);
        if (c.secondPress) send(QTest::MousePress);
        send(QTest::MouseDClick);
        send(QTest::MouseRelease);
        QApplication::processEvents();
        EXPECT_EQ(emulator_->CurrentFilter(), c.row);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(List()->RowImage(i), i == c.row ? 1 : 0) << i;
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the wait cursor is gone again
        EXPECT_FALSE(qt_->CellEditorOpen());   // the release after it opened none again
        EXPECT_EQ(Sent("FWwriteEE"), writes);  // the editor closed unstored
    }
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, List()->CellRect(0, 2).center());
    ASSERT_TRUE(qt_->CellEditorOpen());
    const int gotos = Sent("FWGOTO");
    QTest::mouseClick(CellEditor(), Qt::LeftButton);
    QTest::mouseDClick(CellEditor(), Qt::LeftButton);
    EXPECT_TRUE(qt_->CellEditorOpen());
    EXPECT_EQ(Sent("FWGOTO"), gotos);
}

// The editor lies over the cell with the focus in it, hides the cell's own text while open,
// and its arrows stop at ±1000; the timer stores it once the focus has gone elsewhere. The
// first column's names are edited by the list itself.
TEST_F(QtDialogTest, CellEditorSitsOverTheCellAndIsStoredWhenLeft) {
    Open();
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, List()->CellRect(2, 3).center());
    ASSERT_NE(CellEditor(), nullptr);
    EXPECT_EQ(qt_->focusWidget(), CellEditor());
    EXPECT_EQ(qt_->FocusedControl(), Id::CellEditor);
    EXPECT_EQ(CellEditor()->text(), List()->CellText(2, 3));
    const QRect cell = List()->CellRect(2, 3);
    const auto plain = [this](QRect area) {
        QImage shot = List()->viewport()->grab(area).toImage(), flat = shot;
        flat.fill(shot.pixel(0, 0));
        return shot == flat;
    };
    EXPECT_TRUE(plain(cell.adjusted(0, 0, CellEditor()->x() - cell.right() - 1, 0)));
    auto* spin = Find<UpDownControl>(*qt_, Id::CellSpin);
    for (const char* from : {"999", "-999"}) {
        CellEditor()->setText(from);
        spin->Click(*from != '-');
        spin->Click(*from != '-');
        EXPECT_EQ(CellEditor()->text(), *from == '-' ? "-1000" : "1000");
    }
    Find(*qt_, Id::PositionDisplay)->setFocus();
    EXPECT_TRUE(QTest::qWaitFor([this] { return !qt_->CellEditorOpen(); }, 10000));
    EXPECT_EQ(device_->filters[2].focuserPosition, -1000);
    EXPECT_FALSE(plain(cell));

    // The list's own name editor hands the name over; a cancelled edit hands nothing.
    for (bool commit : {true, false}) {
        List()->EditLabel(1);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr);
        editor->setText(commit ? QStringLiteral("Красный") : QStringLiteral("X"));
        if (commit) emit List()->itemDelegate()->commitData(editor);
        emit List()->itemDelegate()->closeEditor(editor);
    }
    EXPECT_EQ(List()->CellText(1, 0), QStringLiteral("Красный"));
    EXPECT_EQ(Sent("FWWRITENAME"), 1);
}

// Keys reach the behaviour before the focused control: Up and Down in the position box move
// the focuser through its arrows, a digit of the numeric keypad chooses no filter, one of the
// main keyboard does, and Escape leaves the dialog through the cancel path.
TEST_F(QtDialogTest, KeysPassThroughTheBehaviourFirst) {
    Open();
    QWidget* box = Find(*qt_, Id::PositionDisplay);
    box->setFocus();
    device_->MinMotorStep = 10;
    const int position = device_->focuserPosition;
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(emulator_->FocuserPosition(), position + 10);
    QTest::keyClick(box, Qt::Key_2, Qt::KeypadModifier);
    EXPECT_EQ(emulator_->CurrentFilter(), 0);
    QTest::keyClick(box, Qt::Key_2);
    EXPECT_EQ(emulator_->CurrentFilter(), 2);
    QTest::keyClick(Find(*qt_, Id::ThermometerName0 + 2), Qt::Key_Escape);
    EXPECT_FALSE(qt_->isVisible());
    EXPECT_EQ(qt_->result(), QDialog::Rejected);
    EXPECT_EQ(device_->port, nullptr);
}

// The four dialogs as a user sees them when connected, under the font this machine has (the
// fallback when the templates' face is missing): every text fits its control and renders, no
// two controls overlap (frames excepted), and all lie inside the window.
void ExpectNothingClippedOrOverlapping(QDialog& dialog) {
    SCOPED_TRACE(dialog.windowTitle().toStdString());
    QList<QWidget*> controls;
    for (QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (qobject_cast<QGroupBox*>(w) == nullptr && w->isVisible()) controls << w;
    ASSERT_GT(controls.size(), 5);
    for (QWidget* w : controls) {
        const std::string name = w->objectName().toStdString();
        EXPECT_TRUE(dialog.rect().contains(w->geometry())) << name;
        QString text;
        int room = w->width();
        if (const auto* label = qobject_cast<QLabel*>(w)) {
            const QRect need = label->fontMetrics().boundingRect(
                label->contentsRect(),
                label->alignment() | (label->wordWrap() ? Qt::TextWordWrap : 0), label->text());
            EXPECT_LE(need.height(), label->contentsRect().height()) << name;
            EXPECT_LE(need.width(), label->contentsRect().width()) << name;
            for (QChar c : label->text()) EXPECT_TRUE(label->fontMetrics().inFont(c) || c == '\n');
        } else if (const auto* button = qobject_cast<QPushButton*>(w)) {
            text = button->text();
            room -= 6;  // its frame
        } else if (const auto* box = qobject_cast<QCheckBox*>(w)) {
            QStyleOptionButton option;
            option.initFrom(box);
            option.text = text = box->text();
            room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width();
        }
        EXPECT_LE(w->fontMetrics().horizontalAdvance(text), room) << name;
        for (QWidget* other : controls)
            EXPECT_TRUE(other == w || !w->geometry().intersects(other->geometry()))
                << name << " overlaps " << other->objectName().toStdString();
    }
}

TEST_F(QtDialogTest, NoDialogHasAnythingClippedOrOverlapping) {
    sim::EmulatorOptions options;
    options.thermometers = 1;
    Open(options);
    emulator_->SetFocuserPosition(-12345);
    emulator_->SetTemperature(0, -1225);
    emulator_->SetCompensationThermometer(0);
    Find<QLineEdit>(*qt_, Id::ThermometerName0)->setText(QStringLiteral("Зеркало"));
    dialog_->OnTimer();  // the panel live: temperatures, position, direction, icons
    ASSERT_EQ(Find<QLineEdit>(*qt_, Id::PositionDisplay)->text(), "-12345");
    QApplication::processEvents();
    ExpectNothingClippedOrOverlapping(*qt_);
    WheelSettingsDialog wheel(device_.get());
    FocuserSettingsDialog focuser(device_.get());
    MicrostepTableDialog microsteps(device_.get());
    const std::pair<const DialogTemplate*, DialogEvents*> dialogs[] = {
        {&WheelSettingsTemplate(), &wheel},
        {&FocuserSettingsTemplate(), &focuser},
        {&MicrostepTableTemplate(), &microsteps}};
    for (const auto& [tmpl, events] : dialogs) {
        QtDialog settings(*tmpl, *events, qt_.get());
        settings.show();
        QApplication::processEvents();
        ExpectNothingClippedOrOverlapping(settings);
        if (events != &microsteps) continue;
        // The level curve is drawn in a band that stays high enough to read whatever the font.
        const MicrostepFigures figures = microsteps.Figures();
        EXPECT_GE(figures.band.bottom - figures.band.top, 60);
        const CurvePoint top = figures.levelCurve[4];
        EXPECT_EQ(settings.grab().toImage().pixelColor(top.x, top.y), QColor(Qt::black));
    }
}

// The real file dialog, answered by choosing a name typed without extension.
TEST(SettingsFilePromptTest, ANameWithoutExtensionGetsFws) {
    kavri::test::TempDir dir;
    QTimer::singleShot(0, [&] {
        auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(files, nullptr);
        EXPECT_EQ(files->nameFilters(), QStringList{"Settings File (*.fws)"});
        files->setDirectory(QString::fromStdString(dir.Path()));
        files->selectFile(QStringLiteral("night"));
        static_cast<QDialog*>(files)->accept();  // public there
    });
    const QString path = AskFileName(
        {nullptr, FileDialogMode::Save, QStringLiteral("Settings File (*.fws)"), "fws"});
    EXPECT_EQ(path, QString::fromStdString(dir.File("night.fws")));
}

}  // namespace
}  // namespace kavri::ui::test
