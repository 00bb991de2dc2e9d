// The filter list: its rows after connecting, disconnecting and a selection, the cell editor's
// storing rules, the name editor, and the refusal of values the controller cannot hold.
#include <QAbstractItemDelegate>
#include <QHeaderView>

#include "MainDialogRig.h"
#include "sim/ImageLayout.h"
#include "ui/common/UpDownControl.h"

namespace kavri::ui::test {
namespace {

namespace Id = ControlIds;

class FilterListTest : public MainDialogRig {
protected:
    void SetUp() override {
        Start();
        Connect();
    }

    // Opens the cell editor by a click, types `text`, moves the focus away and lets a refresh
    // tick close the editor.
    void EditCell(int row, int column, const QString& text) {
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, CellCentre(row, column));
        ASSERT_NE(CellEditor(), nullptr);
        CellEditor()->setText(text);
        dialog_->OnTimer();  // the focus is still in the editor: it stays open
        ASSERT_TRUE(dialog_->CellEditorOpen());
        Control(Id::PositionDisplay)->setFocus();
        dialog_->OnTimer();
        ASSERT_FALSE(dialog_->CellEditorOpen());
    }

    // Types `text` into the list's own name editor on `row` and ends the editing.
    void Rename(int row, const QString& text) {
        ReportListView* list = List();
        list->EditLabel(row);
        QLineEdit* editor = nullptr;
        for (QLineEdit* e : list->viewport()->findChildren<QLineEdit*>()) {
            if (ControlId(e) != Id::CellEditor) editor = e;
        }
        ASSERT_NE(editor, nullptr);
        editor->setText(text);
        emit list->itemDelegate()->commitData(editor);
        emit list->itemDelegate()->closeEditor(editor);
    }

    // The 8 bytes of a filter slot in the emulator's image, NULs included.
    std::string ImageNameBytes(int slot) const {
        const sim::Image image = emulator_->GetImage();
        const auto* at = image.data() + sim::offset::kFilterNames + 8 * slot;
        return std::string(reinterpret_cast<const char*>(at), 8);
    }

    int ImageWheelPosition(int slot) const {
        return sim::ReadI16(emulator_->GetImage(), sim::offset::kFilterWheelPositions + 2 * slot);
    }
    int ImageFocuserPosition(int slot) const {
        return sim::ReadI16(emulator_->GetImage(), sim::offset::kFilterFocuserPositions + 2 * slot);
    }
};

TEST_F(FilterListTest, ShowsTheTableWithColumnsAndIcons) {
    ReportListView* list = List();
    ASSERT_EQ(list->columnCount(), 4);
    EXPECT_EQ(list->headerItem()->text(0), "Name");
    EXPECT_EQ(list->headerItem()->text(1), "#");
    EXPECT_EQ(list->headerItem()->text(2), "Correction");
    EXPECT_EQ(list->headerItem()->text(3), "Focus Shift");
    const int w = (list->contentsRect().width() - 40) / 3;
    EXPECT_EQ(list->columnWidth(0), w);
    EXPECT_EQ(list->columnWidth(1), 40);
    EXPECT_EQ(list->columnWidth(3), w);

    ASSERT_EQ(list->RowCount(), 5);
    for (int i = 0; i < 5; ++i) {
        const FilterEntry& row = device_->filters[static_cast<size_t>(i)];
        EXPECT_EQ(list->CellText(i, 0).toStdString(), std::string(row.name));
        EXPECT_EQ(list->CellText(i, 1), QString::number(i));
        EXPECT_EQ(list->CellText(i, 2), QString::number(row.wheelPosition));
        EXPECT_EQ(list->RowImage(i), i == 0 ? 1 : 0);
    }
    EXPECT_EQ(list->CellText(0, 0), "L");
}

TEST_F(FilterListTest, FocusShiftAboveTenThousandShowsNone) {
    device_->filters[0].focuserPosition = 10000;
    device_->filters[1].focuserPosition = 10001;
    device_->filters[2].focuserPosition = 20000;
    device_->filters[3].focuserPosition = -50;
    dialog_->FillFilterList();
    EXPECT_EQ(List()->CellText(0, 3), "10000");
    EXPECT_EQ(List()->CellText(1, 3), "none");
    EXPECT_EQ(List()->CellText(2, 3), "none");
    EXPECT_EQ(List()->CellText(3, 3), "-50");
}

// A double click as the window system delivers it: every event goes to the widget under the
// pointer at that moment, so after the first click has opened a cell editor the rest of the
// double click reaches the editor, or its arrows, not the list.
TEST_F(FilterListTest, DoubleClickAnywhereInARowSelectsItsFilter) {
    struct Case {
        const char* what;
        int row, column;
        bool rightEdge;    // at the cell's right end, where the editor's arrows appear
        bool secondPress;  // a press arrives before the double click (as from X11)
    };
    const Case cases[] = {
        {"name", 1, 0, false, true},
        {"correction", 2, 2, false, true},
        {"focus shift", 3, 3, false, true},
        {"correction, double click in place of the second press", 4, 2, false, false},
        {"focus shift, over the arrows", 1, 3, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QRect cell = List()->CellRect(c.row, c.column);
        const QPoint at = c.rightEdge ? QPoint(cell.right() - 7, cell.center().y()) : cell.center();
        const QPoint inDialog = List()->viewport()->mapTo(dialog_.get(), at);
        auto send = [&](QEvent::Type type) {
            QWidget* target = dialog_->childAt(inDialog);
            ASSERT_NE(target, nullptr);
            const QPoint local = target->mapFrom(dialog_.get(), inDialog);
            if (type == QEvent::MouseButtonPress)
                QTest::mousePress(target, Qt::LeftButton, {}, local);
            if (type == QEvent::MouseButtonRelease)
                QTest::mouseRelease(target, Qt::LeftButton, {}, local);
            if (type == QEvent::MouseButtonDblClick)
                QTest::mouseDClick(target, Qt::LeftButton, {}, local);
        };
        const int writes = Sent("FWwriteEE");
        send(QEvent::MouseButtonPress);
        send(QEvent::MouseButtonRelease);
        if (c.column >= 2) {
            ASSERT_TRUE(dialog_->CellEditorOpen());
        }
        if (c.secondPress) send(QEvent::MouseButtonPress);
        send(QEvent::MouseButtonDblClick);
        send(QEvent::MouseButtonRelease);
        QApplication::processEvents();

        EXPECT_EQ(emulator_->CurrentFilter(), c.row);
        EXPECT_EQ(dialog_->HighlightedFilter(), c.row);
        EXPECT_EQ(List()->RowImage(c.row), 1);
        EXPECT_EQ(List()->RowImage(0), 0);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the wait cursor is gone again
        EXPECT_FALSE(dialog_->CellEditorOpen());  // the release after it opened none again
        EXPECT_EQ(Sent("FWwriteEE"), writes);     // the editor closed unstored
    }
    // A double click inside an editor that is already open is the user's own: it selects text.
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, CellCentre(0, 2));
    ASSERT_TRUE(dialog_->CellEditorOpen());
    const int gotos = Sent("FWGOTO");
    QTest::mouseClick(CellEditor(), Qt::LeftButton);
    QTest::mouseDClick(CellEditor(), Qt::LeftButton);
    EXPECT_TRUE(dialog_->CellEditorOpen());
    EXPECT_EQ(Sent("FWGOTO"), gotos);
}

TEST_F(FilterListTest, DisconnectEmptiesTheList) {
    dialog_->OnDisconnect();
    EXPECT_EQ(List()->RowCount(), 0);
    EXPECT_FALSE(dialog_->BeginCellEdit(QPoint(List()->viewport()->width() - 10, 5)));
}

TEST_F(FilterListTest, CorrectionEditIsStoredAndWrittenToTheController) {
    const int writes = Sent("FWwriteEE");
    EditCell(1, 2, "123");
    EXPECT_EQ(device_->filters[1].wheelPosition, 123);
    EXPECT_EQ(List()->CellText(1, 2), "123");
    EXPECT_EQ(Sent("FWwriteEE"), writes + 1);
    EXPECT_EQ(ImageWheelPosition(1), 123);
    EXPECT_EQ(Sent("FWGOTO"), 0);  // row 1 is not in the light path
}

TEST_F(FilterListTest, UnchangedValueWritesNothing) {
    const int writes = Sent("FWwriteEE");
    EditCell(2, 2, List()->CellText(2, 2));
    EditCell(2, 3, " " + List()->CellText(2, 3) + " ");  // blanks around it do not count
    EXPECT_EQ(Sent("FWwriteEE"), writes);
    EXPECT_TRUE(warnings_.isEmpty());
}

TEST_F(FilterListTest, TextWithTheLetterNStoresNoFocuserPosition) {
    EditCell(4, 3, "none");
    EXPECT_EQ(device_->filters[4].focuserPosition, 20000);
    EXPECT_EQ(List()->CellText(4, 3), "none");
    EXPECT_EQ(ImageFocuserPosition(4), 20000);
    EditCell(3, 3, "N/A");
    EXPECT_EQ(device_->filters[3].focuserPosition, 20000);
}

TEST_F(FilterListTest, NewCorrectionOfTheCurrentFilterSendsTheWheelThereAgain) {
    ASSERT_EQ(device_->currentFilter, 0);
    const int writes = Sent("FWwriteEE");
    EditCell(0, 2, "777");
    EXPECT_EQ(Sent("FWwriteEE"), writes + 1);
    EXPECT_EQ(Sent("FWGOTO"), 1);
    const auto keywords = emulator_->ReceivedKeywords();
    ASSERT_GE(keywords.size(), 2u);
    EXPECT_EQ(keywords[keywords.size() - 2], "FWwriteEE");  // the image first, then the wheel
    EXPECT_EQ(keywords.back(), "FWGOTO");
    EditCell(0, 3, "555");  // a focus shift takes effect without moving the wheel
    EXPECT_EQ(Sent("FWGOTO"), 1);
}

TEST_F(FilterListTest, NameAndNumberColumnsOpenNoEditor) {
    EXPECT_FALSE(dialog_->BeginCellEdit(CellCentre(1, 0)));
    EXPECT_FALSE(dialog_->BeginCellEdit(CellCentre(1, 1)));
    EXPECT_FALSE(dialog_->BeginCellEdit(QPoint(-5, -5)));
    EXPECT_FALSE(dialog_->CellEditorOpen());
    EXPECT_EQ(CellEditor(), nullptr);
}

TEST_F(FilterListTest, EditorSitsInsideTheCellWithArrowsStoppingAtAThousand) {
    ASSERT_TRUE(dialog_->BeginCellEdit(CellCentre(2, 3)));
    const QRect cell = List()->CellRect(2, 3);
    auto* spin = FindControlAs<UpDownControl>(*dialog_, Id::CellSpin);
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(CellEditor()->geometry().left(), cell.left() + 5);
    EXPECT_EQ(spin->geometry().right(), cell.right() - 5);
    EXPECT_EQ(CellEditor()->geometry().right() + 1, spin->geometry().left());
    EXPECT_EQ(dialog_->focusWidget(), CellEditor());
    EXPECT_EQ(CellEditor()->text(), List()->CellText(2, 3));
    // The cell's own text does not show in the strip beside the editor (all one colour there),
    // and shows again once the editor is gone.
    const auto blank = [this](QRect area) {
        const QImage shot = List()->viewport()->grab().toImage();
        const qreal scale = shot.devicePixelRatio();
        const QColor background = shot.pixelColor(area.topLeft() * scale);
        for (int x = area.left(); x <= area.right(); ++x) {
            for (int y = area.top(); y <= area.bottom(); ++y) {
                if (shot.pixelColor(QPoint(x, y) * scale) != background) return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(blank(cell.adjusted(0, 0, CellEditor()->geometry().left() - cell.right() - 1, 0)));

    CellEditor()->setText("999");
    spin->Click(true);
    spin->Click(true);
    EXPECT_EQ(CellEditor()->text(), "1000");
    CellEditor()->setText("-999");
    spin->Click(false);
    spin->Click(false);
    EXPECT_EQ(CellEditor()->text(), "-1000");
    EXPECT_EQ(List()->CellText(2, 3), QString::number(device_->filters[2].focuserPosition));
    EXPECT_NE(device_->filters[2].focuserPosition, -1000);  // nothing stored before the end
    CellEditor()->setText(List()->CellText(2, 3));
    dialog_->EndCellEdit();
    EXPECT_FALSE(blank(cell));
}

TEST_F(FilterListTest, TheDialogsOwnTimerClosesAnAbandonedEditor) {
    ASSERT_TRUE(dialog_->BeginCellEdit(CellCentre(1, 3)));
    CellEditor()->setText("-33");
    Control(Id::PositionDisplay)->setFocus();
    EXPECT_TRUE(QTest::qWaitFor([this] { return !dialog_->CellEditorOpen(); }, 10000));
    EXPECT_EQ(device_->filters[1].focuserPosition, -33);
}

TEST_F(FilterListTest, TickStoresTheEditorWhenTheProgramIsLeft) {
    QWidget otherWindow;  // another window of this program; nullptr: another program
    otherWindow.show();
    for (QWidget* active : {&otherWindow, static_cast<QWidget*>(nullptr)}) {
        SCOPED_TRACE(active != nullptr ? "another window" : "another program");
        QApplication::setActiveWindow(dialog_.get());
        ASSERT_TRUE(dialog_->BeginCellEdit(CellCentre(2, 3)));
        const QString typed = active != nullptr ? "-41" : "42";
        CellEditor()->setText(typed);
        QApplication::setActiveWindow(active);
        ASSERT_EQ(dialog_->focusWidget(), CellEditor());  // the dialog's focus stays in it
        dialog_->OnTimer();
        EXPECT_FALSE(dialog_->CellEditorOpen());
        EXPECT_EQ(device_->filters[2].focuserPosition, typed.toInt());
        EXPECT_EQ(ImageFocuserPosition(2), typed.toInt());
    }
}

TEST_F(FilterListTest, ClickingASecondCellStoresTheFirstEdit) {
    ASSERT_TRUE(dialog_->BeginCellEdit(CellCentre(1, 2)));
    CellEditor()->setText("4321");  // beyond the arrows' range: taken as typed
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, CellCentre(3, 3));
    EXPECT_EQ(device_->filters[1].wheelPosition, 4321);
    EXPECT_EQ(ImageWheelPosition(1), 4321);
    ASSERT_TRUE(dialog_->CellEditorOpen());
    EXPECT_EQ(CellEditor()->text(), List()->CellText(3, 3));
}

// A value the controller cannot hold (it would be stored cut to another position) or text
// that is no number (it would read as 0 and move the wheel or focuser there) is refused: the
// user is told and nothing is written.
TEST_F(FilterListTest, ValueThatIsNoPositionIsRefusedAndTheUserTold) {
    const int writes = Sent("FWwriteEE");
    const FilterEntry before = device_->filters[2];
    const struct {
        int column;
        const char* text;
    } cases[] = {
        {2, "40000"}, {3, "-32769"}, {3, "99999999999999999999999"},
        {2, "abc"},   {2, "12x"},    {3, "-75x"},
        {2, ""},      {3, "1 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const int shown = static_cast<int>(warnings_.size());
        EditCell(2, c.column, c.text);
        ASSERT_EQ(warnings_.size(), shown + 1);
        if (*c.text != '\0') {
            EXPECT_TRUE(warnings_.back().contains(c.text));
        }
    }
    EXPECT_EQ(device_->filters[2].wheelPosition, before.wheelPosition);
    EXPECT_EQ(device_->filters[2].focuserPosition, before.focuserPosition);
    EXPECT_EQ(List()->CellText(2, 2), QString::number(before.wheelPosition));
    EXPECT_EQ(Sent("FWwriteEE"), writes);
    EXPECT_EQ(Sent("FWGOTO"), 0);
    EditCell(2, 3, "-32768");  // the bounds themselves are fine
    EXPECT_EQ(device_->filters[2].focuserPosition, -32768);
    EXPECT_EQ(ImageFocuserPosition(2), -32768);
}

TEST_F(FilterListTest, EditOfARowThatNoLongerExistsIsDropped) {
    ASSERT_TRUE(dialog_->BeginCellEdit(CellCentre(4, 2)));
    CellEditor()->setText("12");
    device_->filters.resize(3);
    const int writes = Sent("FWwriteEE");
    dialog_->EndCellEdit();
    EXPECT_FALSE(dialog_->CellEditorOpen());
    EXPECT_EQ(Sent("FWwriteEE"), writes);
}

TEST_F(FilterListTest, EmptyTableOpensNoEditor) {
    device_->filters.clear();
    dialog_->FillFilterList();
    EXPECT_FALSE(dialog_->BeginCellEdit(QPoint(List()->viewport()->width() - 10, 5)));
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, QPoint(200, 8));
    EXPECT_FALSE(dialog_->CellEditorOpen());
}

TEST_F(FilterListTest, NameEditorWritesTheNameAndShowsItAsTyped) {
    ReportListView* list = List();
    Rename(1, "Luminance12");
    EXPECT_EQ(Sent("FWWRITENAME"), 1);
    EXPECT_EQ(sim::FilterName(emulator_->GetImage(), 1), "Luminanc");
    EXPECT_EQ(list->CellText(1, 0), "Luminance12");
    dialog_->FillFilterList();
    EXPECT_EQ(list->CellText(1, 0), "Luminanc");
}

// Names travel in windows-1251, one byte per letter, as the Windows software writes them.
TEST_F(FilterListTest, NamesAreWindows1251BytesBothWays) {
    const std::string red = "\xCA\xF0\xE0\xF1\xED\xFB\xE9";  // "Красный"
    sim::Image image = emulator_->GetImage();
    sim::SetFilterName(image, 2, red);
    emulator_->SetImage(image);
    dialog_->OnDisconnect();
    Connect();
    EXPECT_EQ(List()->CellText(2, 0), QStringLiteral("Красный"));

    Rename(1, QStringLiteral("Красный"));
    EXPECT_EQ(ImageNameBytes(1), red + '\0');
    // Eight Cyrillic letters fill the slot; more are cut to eight.
    Rename(3, QStringLiteral("Светофильтр"));
    EXPECT_EQ(ImageNameBytes(3), "\xD1\xE2\xE5\xF2\xEE\xF4\xE8\xEB");  // "Светофил"
    dialog_->FillFilterList();
    EXPECT_EQ(List()->CellText(1, 0), QStringLiteral("Красный"));
    EXPECT_EQ(List()->CellText(3, 0), QStringLiteral("Светофил"));
    EXPECT_EQ(Sent("FWWRITENAME"), 2);
    EXPECT_TRUE(warnings_.isEmpty());

    // A character the code page lacks: the user is told and nothing is sent.
    const std::string before = ImageNameBytes(4);
    Rename(4, QStringLiteral("H\u03B1"));  // "Hα"
    EXPECT_EQ(Sent("FWWRITENAME"), 2);
    EXPECT_EQ(ImageNameBytes(4), before);
    EXPECT_EQ(List()->CellText(4, 0), "Ha");
    ASSERT_EQ(warnings_.size(), 1);
    EXPECT_TRUE(warnings_[0].contains(QStringLiteral("\u03B1")));
}

TEST_F(FilterListTest, NameEditorCancelledWritesNothing) {
    ReportListView* list = List();
    list->EditLabel(2);
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, nullptr);
    emit list->itemDelegate()->closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
    EXPECT_EQ(Sent("FWWRITENAME"), 0);
    EXPECT_EQ(list->CellText(2, 0), "G");
}

}  // namespace
}  // namespace kavri::ui::test
