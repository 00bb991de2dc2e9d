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
    void SetUp() override { StartConnected(); }
    // Opens the cell editor by a click, types `text`, moves the focus away and lets a refresh
    // tick close the editor (the tick before that, with the focus still in it, does not).
    void EditCell(int row, int column, const QString& text) {
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, CellCentre(row, column));
        ASSERT_NE(CellEditor(), nullptr);
        CellEditor()->setText(text);
        dialog_->OnTimer();
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
    // Row `row`'s position of column 2 (wheel) or 3 (focuser) in the controller's image.
    int ImagePosition(int row, int column) const {
        using namespace sim::offset;
        return sim::ReadI16(
            emulator_->GetImage(),
            2 * row + (column == 2 ? kFilterWheelPositions : kFilterFocuserPositions));
    }
    int32_t& Field(int row, int column) {
        FilterEntry& f = device_->filters[static_cast<size_t>(row)];
        return column == 2 ? f.wheelPosition : f.focuserPosition;
    }
};

// A double click as the window system delivers it: every event goes to the widget under the
// pointer at that moment, so after the first click has opened a cell editor the rest of the
// double click reaches the editor, or its arrows, not the list.
TEST_F(FilterListTest, DoubleClickAnywhereInARowSelectsItsFilter) {
    const struct {
        int row, column;
        bool rightEdge;    // at the cell's right end, where the editor's arrows appear
        bool secondPress;  // a press arrives before the double click (as from X11)
    } cases[] = {
        // clang-format off
        {1, 0, false, true}, {2, 2, false, true}, {3, 3, false, true}, {4, 3, true, true},
        {0, 2, false, false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "cell " << c.row << "," << c.column);
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
        ASSERT_EQ(dialog_->CellEditorOpen(), c.column >= 2);
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

// A new value is stored and the image written; the current filter's new correction sends the
// wheel there again. A value the controller cannot hold (it would be stored cut to another
// position) or text that is no number (it would read as 0 and move the wheel or focuser there)
// is refused and the user told.
TEST_F(FilterListTest, EditedCellsAreStoredAndWrittenOrRefused) {
    constexpr int kSame = INT_MIN, kRefused = INT_MIN + 1;  // "%": the cell's own text
    struct Case {
        int row, column;
        QString text;
        int value, gotos;
    };
    std::vector<Case> cases = {
        // clang-format off
        {1, 2, "123", 123, 0}, {2, 2, "%", kSame, 0}, {2, 3, " % ", kSame, 0},
        {4, 3, "none", 20000, 0}, {3, 3, "N/A", 20000, 0}, {0, 2, "777", 777, 1},
        {0, 3, "555", 555, 0}, {2, 3, "-32768", -32768, 0}, {2, 2, "32767", 32767, 0},
        // clang-format on
    };
    for (int column : {2, 3}) {
        for (const char* text : {"40000", "-32769", "65536", "99999999999999999999999", "abc",
                                 "12x", "-75x", "", "1 2"})
            cases.push_back({2, column, text, kRefused, 0});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const int before = Field(c.row, c.column), shown = static_cast<int>(warnings_.size());
        const int writes = Sent("FWwriteEE"), gotos = Sent("FWGOTO");
        EditCell(c.row, c.column, QString(c.text).replace('%', List()->CellText(c.row, c.column)));
        const bool kept = c.value == kSame || c.value == kRefused;
        const int value = kept ? before : c.value;
        EXPECT_EQ(Field(c.row, c.column), value);
        EXPECT_EQ(List()->CellText(c.row, c.column),
                  value == 20000 ? "none" : QString::number(value));
        EXPECT_EQ(ImagePosition(c.row, c.column), value);
        EXPECT_EQ(Sent("FWwriteEE"), writes + (kept ? 0 : 1));
        EXPECT_EQ(Sent("FWGOTO"), gotos + c.gotos);
        if (c.gotos > 0) {  // the image first, then the wheel
            const auto keywords = emulator_->ReceivedKeywords();
            EXPECT_EQ(keywords[keywords.size() - 2], "FWwriteEE");
        }
        ASSERT_EQ(warnings_.size(), shown + (c.value == kRefused ? 1 : 0));
        EXPECT_TRUE(c.value != kRefused || warnings_.back().contains(c.text));
    }
    for (QPoint at : {CellCentre(1, 1), QPoint(-5, -5)}) EXPECT_FALSE(dialog_->BeginCellEdit(at));
}

// The editor's arrows stop at ±1000 and store nothing; the dialog's own timer stores an editor
// the user has left, and so does a tick after the user went to another window or program
// (where the dialog's own focus stays in the editor), and a click on another cell.
TEST_F(FilterListTest, EditorIsStoredHoweverItIsLeft) {
    ASSERT_TRUE(dialog_->BeginCellEdit(CellCentre(2, 3)));
    EXPECT_EQ(dialog_->focusWidget(), CellEditor());
    EXPECT_EQ(CellEditor()->text(), List()->CellText(2, 3));
    // The cell's own text does not peek out beside the editor, and shows again after it.
    const QRect cell = List()->CellRect(2, 3);
    const auto plain = [this](QRect area) {
        QImage shot = List()->viewport()->grab(area).toImage(), flat = shot;
        flat.fill(shot.pixel(0, 0));
        return shot == flat;
    };
    EXPECT_TRUE(plain(cell.adjusted(0, 0, CellEditor()->x() - cell.right() - 1, 0)));
    auto* spin = Find<UpDownControl>(*dialog_, Id::CellSpin);
    for (const char* from : {"999", "-999"}) {
        CellEditor()->setText(from);
        spin->Click(*from != '-');
        spin->Click(*from != '-');
        EXPECT_EQ(CellEditor()->text(), *from == '-' ? "-1000" : "1000");
    }
    EXPECT_NE(Field(2, 3), -1000);
    Control(Id::PositionDisplay)->setFocus();
    EXPECT_TRUE(QTest::qWaitFor([this] { return !dialog_->CellEditorOpen(); }, 10000));
    EXPECT_EQ(ImagePosition(2, 3), -1000);
    EXPECT_FALSE(plain(cell));

    QWidget otherWindow;
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
    EXPECT_EQ(CellEditor()->text(), List()->CellText(3, 3));
}

// The rows show the table with the current filter's icon. Names travel in windows-1251, one
// byte per letter, as the Windows software writes them; the list shows a name as typed until
// it is filled from the table again.
TEST_F(FilterListTest, RowsShowTheTableAndNamesAreWindows1251BytesBothWays) {
    const std::string red = "\xCA\xF0\xE0\xF1\xED\xFB\xE9";  // "Красный"
    std::snprintf(device_->filters[2].name, sizeof device_->filters[2].name, "%s", red.c_str());
    Field(0, 3) = 10000;
    Field(1, 3) = 10001;  // above 10000: no focus shift
    dialog_->FillFilterList();
    ASSERT_EQ(List()->RowCount(), 5);
    EXPECT_EQ(List()->CellText(0, 0), "L");
    EXPECT_EQ(List()->CellText(2, 0), QStringLiteral("Красный"));
    EXPECT_EQ(List()->CellText(0, 3), "10000");
    EXPECT_EQ(List()->CellText(1, 3), "none");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(List()->CellText(i, 1), QString::number(i));
        EXPECT_EQ(List()->CellText(i, 2), QString::number(Field(i, 2)));
        EXPECT_EQ(List()->RowImage(i), i == 0 ? 1 : 0);
    }
    Rename(1, QStringLiteral("Красный"));
    EXPECT_EQ(sim::FilterName(emulator_->GetImage(), 1), red);
    Rename(3, QStringLiteral("Светофил"));  // eight Cyrillic letters fill the slot
    dialog_->FillFilterList();
    EXPECT_EQ(List()->CellText(3, 0), QStringLiteral("Светофил"));
    EXPECT_EQ(sim::FilterName(emulator_->GetImage(), 3), "\xD1\xE2\xE5\xF2\xEE\xF4\xE8\xEB");
    EXPECT_EQ(Sent("FWWRITENAME"), 2);
    EXPECT_TRUE(warnings_.isEmpty());

    // A name the rule of every front end refuses is refused whole, never cut, and a cancelled
    // edit changes nothing: nothing is sent, and the row keeps its name.
    const std::pair<QString, QString> refused[] = {
        {QStringLiteral("Светофильтр"), QStringLiteral("длиннее 8 символов")},
        {QStringLiteral("A\tB"), QStringLiteral("управляющий символ")},
        {QStringLiteral("H\u03B1"), QStringLiteral("\u03B1")}};  // "Hα"
    for (const auto& [text, reason] : refused) {
        Rename(4, text);
        const QString last = warnings_.value(warnings_.size() - 1);  // empty without one
        EXPECT_TRUE(last.contains(reason)) << last.toStdString();
    }
    EXPECT_EQ(warnings_.size(), 3);
    Rename(2, QStringLiteral("X"), false);
    EXPECT_EQ(Sent("FWWRITENAME"), 2);
    EXPECT_EQ(List()->CellText(2, 0), QStringLiteral("Красный"));
}

}  // namespace
}  // namespace kavri::ui::test
