// The filter list: its rows, double-click selection, the cell editor's storing rules and its
// refusals, and the name editor.
#include <QAbstractItemDelegate>
#include <climits>

#include "MainDialogRig.h"
#include "sim/ImageLayout.h"
#include "ui/common/UpDownControl.h"

namespace kavri::ui::test {
namespace {

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

    // Types `text` into the list's own name editor on `row`; `commit` false cancels the edit.
    void Rename(int row, const QString& text, bool commit = true) {
        List()->EditLabel(row);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr);
        editor->setText(text);
        if (commit) emit List()->itemDelegate()->commitData(editor);
        emit List()->itemDelegate()->closeEditor(editor);
    }

    // The 8 name bytes of a filter slot in the controller's image, NULs included.
    std::string ImageName(int slot) const {
        const sim::Image image = emulator_->GetImage();
        return {reinterpret_cast<const char*>(&image[sim::offset::kFilterNames + 8 * slot]), 8};
    }
    // A position of a filter slot in the controller's image, for the list's column 2 or 3.
    int ImagePosition(int row, int column) const {
        return sim::ReadI16(emulator_->GetImage(),
                            2 * row + (column == 2 ? sim::offset::kFilterWheelPositions
                                                   : sim::offset::kFilterFocuserPositions));
    }
    int32_t& Field(int row, int column) {
        FilterEntry& f = device_->filters[static_cast<size_t>(row)];
        return column == 2 ? f.wheelPosition : f.focuserPosition;
    }
};

TEST_F(FilterListTest, RowsShowTheTableAndTheCurrentFilter) {
    Field(0, 3) = 10000;
    Field(1, 3) = 10001;  // above 10000: no focus shift
    dialog_->FillFilterList();
    ASSERT_EQ(List()->RowCount(), 5);
    EXPECT_EQ(List()->CellText(0, 0), "L");
    EXPECT_EQ(List()->CellText(0, 3), "10000");
    EXPECT_EQ(List()->CellText(1, 3), "none");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(List()->CellText(i, 1), QString::number(i));
        EXPECT_EQ(List()->CellText(i, 2), QString::number(Field(i, 2)));
        EXPECT_EQ(List()->RowImage(i), i == 0 ? 1 : 0);
    }
}

// A double click as the window system delivers it: every event goes to the widget under the
// pointer at that moment, so after the first click has opened a cell editor the rest of the
// double click reaches the editor, or its arrows, not the list.
TEST_F(FilterListTest, DoubleClickAnywhereInARowSelectsItsFilter) {
    const struct {
        const char* what;
        int row, column;
        bool rightEdge;    // at the cell's right end, where the editor's arrows appear
        bool secondPress;  // a press arrives before the double click (as from X11)
    } cases[] = {
        {"name", 1, 0, false, true},
        {"correction", 2, 2, false, true},
        {"focus shift", 3, 3, false, true},
        {"focus shift, over the arrows", 4, 3, true, true},
        {"correction, double click in place of the second press", 0, 2, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QRect cell = List()->CellRect(c.row, c.column);
        const QPoint at = c.rightEdge ? QPoint(cell.right() - 7, cell.center().y()) : cell.center();
        const QPoint inDialog = List()->viewport()->mapTo(dialog_.get(), at);
        auto send = [&](QTest::MouseAction action) {
            QWidget* target = dialog_->childAt(inDialog);
            ASSERT_NE(target, nullptr);
            QTest::mouseEvent(action, target, Qt::LeftButton, {},
                              target->mapFrom(dialog_.get(), inDialog));
        };
        const int writes = Sent("FWwriteEE");
        send(QTest::MousePress);
        send(QTest::MouseRelease);
        if (c.column >= 2) {
            ASSERT_TRUE(dialog_->CellEditorOpen());
        }
        if (c.secondPress) send(QTest::MousePress);
        send(QTest::MouseDClick);
        send(QTest::MouseRelease);
        QApplication::processEvents();

        EXPECT_EQ(emulator_->CurrentFilter(), c.row);
        EXPECT_EQ(dialog_->HighlightedFilter(), c.row);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(List()->RowImage(i), i == c.row ? 1 : 0) << i;
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

TEST_F(FilterListTest, EditedCellsAreStoredAndWrittenToTheController) {
    constexpr int kSame = INT_MIN;  // "%" in the text stands for the cell's own text
    const struct {
        int row, column;
        const char* text;
        int value, gotos;
    } cases[] = {
        {1, 2, "123", 123, 0},                              // row 1 is not in the light path
        {2, 2, "%", kSame, 0},    {2, 3, " % ", kSame, 0},  // unchanged: nothing written
        {4, 3, "none", 20000, 0}, {3, 3, "N/A", 20000, 0},  // any text with an N
        {0, 2, "777", 777, 1},  // the current filter: the wheel goes there again
        {0, 3, "555", 555, 0},    {2, 3, "-32768", -32768, 0}, {2, 2, "32767", 32767, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const int before = Field(c.row, c.column);
        const int writes = Sent("FWwriteEE"), gotos = Sent("FWGOTO");
        EditCell(c.row, c.column, QString(c.text).replace('%', List()->CellText(c.row, c.column)));
        const int value = c.value == kSame ? before : c.value;
        EXPECT_EQ(Field(c.row, c.column), value);
        EXPECT_EQ(List()->CellText(c.row, c.column),
                  value == 20000 ? "none" : QString::number(value));
        EXPECT_EQ(ImagePosition(c.row, c.column), value);
        EXPECT_EQ(Sent("FWwriteEE"), writes + (c.value == kSame ? 0 : 1));
        EXPECT_EQ(Sent("FWGOTO"), gotos + c.gotos);
        if (c.gotos > 0) {  // the image first, then the wheel
            const auto keywords = emulator_->ReceivedKeywords();
            EXPECT_EQ(keywords[keywords.size() - 2], "FWwriteEE");
        }
    }
    EXPECT_TRUE(warnings_.isEmpty());
    // The name and number columns, and the space outside the cells, open no editor.
    for (QPoint at : {CellCentre(1, 0), CellCentre(1, 1), QPoint(-5, -5)})
        EXPECT_FALSE(dialog_->BeginCellEdit(at));
    EXPECT_EQ(CellEditor(), nullptr);
}

// A value the controller cannot hold (it would be stored cut to another position) or text
// that is no number (it would read as 0 and move the wheel or focuser there) is refused: the
// user is told and nothing is written.
TEST_F(FilterListTest, ValueThatIsNoPositionIsRefusedAndTheUserTold) {
    const FilterEntry before = device_->filters[2];
    const struct {
        int column;
        const char* text;
    } cases[] = {
        {2, "40000"},      {3, "-32769"}, {3, "99999999999999999999999"},
        {2, "4294967296"}, {2, "abc"},    {2, "12x"},
        {3, "-75x"},       {2, ""},       {3, "1 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const int shown = static_cast<int>(warnings_.size());
        EditCell(2, c.column, c.text);
        ASSERT_EQ(warnings_.size(), shown + 1);
        EXPECT_TRUE(warnings_.back().contains(c.text));
    }
    EXPECT_EQ(Field(2, 2), before.wheelPosition);
    EXPECT_EQ(Field(2, 3), before.focuserPosition);
    EXPECT_EQ(List()->CellText(2, 2), QString::number(before.wheelPosition));
    EXPECT_EQ(Sent("FWwriteEE") + Sent("FWGOTO"), 0);
}

TEST_F(FilterListTest, EditorArrowsStopAtAThousandAndStoreNothingBeforeTheEnd) {
    ASSERT_TRUE(dialog_->BeginCellEdit(CellCentre(2, 3)));
    EXPECT_EQ(dialog_->focusWidget(), CellEditor());
    EXPECT_EQ(CellEditor()->text(), List()->CellText(2, 3));
    auto* spin = Find<UpDownControl>(*dialog_, Id::CellSpin);
    for (const char* from : {"999", "-999"}) {
        CellEditor()->setText(from);
        spin->Click(*from != '-');
        spin->Click(*from != '-');
        EXPECT_EQ(CellEditor()->text(), *from == '-' ? "-1000" : "1000");
    }
    EXPECT_NE(Field(2, 3), -1000);
    // The dialog's own timer closes and stores an editor the user has left.
    Control(Id::PositionDisplay)->setFocus();
    EXPECT_TRUE(QTest::qWaitFor([this] { return !dialog_->CellEditorOpen(); }, 10000));
    EXPECT_EQ(Field(2, 3), -1000);
}

// The tick stores an open editor when the user has gone to another window or program, where
// the dialog's own focus stays in the editor; clicking another cell stores it too.
TEST_F(FilterListTest, LeavingTheEditorAnyWayStoresIt) {
    QWidget otherWindow;  // another window of this program; nullptr: another program
    otherWindow.show();
    for (QWidget* active : {&otherWindow, static_cast<QWidget*>(nullptr)}) {
        SCOPED_TRACE(active != nullptr ? "another window" : "another program");
        QApplication::setActiveWindow(dialog_.get());
        ASSERT_TRUE(dialog_->BeginCellEdit(CellCentre(2, 3)));
        const QString typed = active != nullptr ? "-41" : "42";
        CellEditor()->setText(typed);
        QApplication::setActiveWindow(active);
        ASSERT_EQ(dialog_->focusWidget(), CellEditor());
        dialog_->OnTimer();
        EXPECT_FALSE(dialog_->CellEditorOpen());
        EXPECT_EQ(ImagePosition(2, 3), typed.toInt());
    }
    QApplication::setActiveWindow(dialog_.get());
    ASSERT_TRUE(dialog_->BeginCellEdit(CellCentre(1, 2)));
    CellEditor()->setText("4321");  // beyond the arrows' range: taken as typed
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, CellCentre(3, 3));
    EXPECT_EQ(ImagePosition(1, 2), 4321);
    ASSERT_TRUE(dialog_->CellEditorOpen());
    EXPECT_EQ(CellEditor()->text(), List()->CellText(3, 3));

    device_->filters.resize(3);  // a probe shrank the table meanwhile: the edit is dropped
    CellEditor()->setText("12");
    const int writes = Sent("FWwriteEE");
    dialog_->EndCellEdit();
    EXPECT_FALSE(dialog_->CellEditorOpen());
    EXPECT_EQ(Sent("FWwriteEE"), writes);
}

// Names travel in windows-1251, one byte per letter, as the Windows software writes them; the
// list shows a name as typed until it is filled from the table again.
TEST_F(FilterListTest, NamesAreWindows1251BytesBothWays) {
    const std::string red = "\xCA\xF0\xE0\xF1\xED\xFB\xE9";  // "Красный"
    std::snprintf(device_->filters[2].name, sizeof device_->filters[2].name, "%s", red.c_str());
    dialog_->FillFilterList();
    EXPECT_EQ(List()->CellText(2, 0), QStringLiteral("Красный"));

    Rename(1, QStringLiteral("Красный"));
    EXPECT_EQ(ImageName(1), red + '\0');
    Rename(3, QStringLiteral("Светофильтр"));  // cut to the slot's eight bytes
    EXPECT_EQ(ImageName(3), "\xD1\xE2\xE5\xF2\xEE\xF4\xE8\xEB");
    EXPECT_EQ(List()->CellText(3, 0), QStringLiteral("Светофильтр"));
    dialog_->FillFilterList();
    EXPECT_EQ(List()->CellText(3, 0), QStringLiteral("Светофил"));
    EXPECT_EQ(Sent("FWWRITENAME"), 2);
    EXPECT_TRUE(warnings_.isEmpty());

    // A character the code page lacks, or a cancelled edit: nothing is sent.
    Rename(4, QStringLiteral("H\u03B1"));  // "Hα"
    ASSERT_EQ(warnings_.size(), 1);
    EXPECT_TRUE(warnings_[0].contains(QStringLiteral("\u03B1")));
    Rename(2, QStringLiteral("X"), false);
    EXPECT_EQ(Sent("FWWRITENAME"), 2);
    EXPECT_EQ(List()->CellText(2, 0), QStringLiteral("Красный"));
}

}  // namespace
}  // namespace kavri::ui::test
