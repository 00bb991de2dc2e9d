// SPDX-License-Identifier: GPL-3.0-or-later
// The filter list: its rows, double-click selection, the cell editor's storing rules and its
// refusals, and the name editor.
#include <climits>
#include <cstdio>

#include "DialogRig.h"
#include "sim/ImageLayout.h"

namespace kavri::ui::test {
namespace {

class FilterListTest : public DialogRig {
protected:
    void SetUp() override { StartConnected(); }
    // Opens the cell editor by a click, types `text`, moves the focus away and lets a refresh
    // tick close the editor (the tick before that, with the focus still in it, does not).
    void EditCell(int row, int column, const std::string& text) {
        W().ListClick(Id::FilterList, CellCentre(row, column));
        ASSERT_TRUE(W().CellEditorOpen());
        W().Type(Id::CellEditor, text);
        Tick();
        ASSERT_TRUE(W().CellEditorOpen());
        W().Focus(Id::PositionDisplay);
        Tick();
        ASSERT_FALSE(W().CellEditorOpen());
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

// A double click on a row selects its filter, under the wait cursor; one below the rows opens
// the editor where it points, if anywhere.
TEST_F(FilterListTest, DoubleClickOnARowSelectsItsFilter) {
    for (int row : {1, 3, 0}) {
        W().ListDoubleClick(Id::FilterList, CellCentre(row, row == 1 ? 0 : 2));
        EXPECT_EQ(emulator_->CurrentFilter(), row);
        EXPECT_EQ(dialog_->HighlightedFilter(), row);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(W().RowImage(Id::FilterList, i), i == row ? 1 : 0);
        EXPECT_EQ(W().WaitCursorDepth(), 0);
    }
    const int gotos = Sent("FWGOTO");
    W().ListDoubleClick(Id::FilterList, {CellCentre(0, 2).x, 5 * FakeControls::kRowHeight + 3});
    EXPECT_EQ(Sent("FWGOTO"), gotos);
    EXPECT_FALSE(W().CellEditorOpen());
    EXPECT_EQ(W().WaitCursorDepth(), 0);
}

// A new value is stored and the image written and read back; the current filter's new
// correction sends the wheel there again. A value the controller cannot hold (it would be stored
// cut to another position) or text that is no number (it would read as 0 and move the wheel or
// focuser there) is refused and the user told.
TEST_F(FilterListTest, EditedCellsAreStoredAndWrittenOrRefused) {
    constexpr int kSame = INT_MIN, kRefused = INT_MIN + 1;  // "%": the cell's own text
    struct Case {
        int row, column;
        std::string text;
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
        SCOPED_TRACE(c.text);
        const int before = Field(c.row, c.column), shown = MessageCount();
        const int writes = Sent("FWwriteEE"), gotos = Sent("FWGOTO");
        std::string text = c.text;
        if (const size_t own = text.find('%'); own != std::string::npos)
            text.replace(own, 1, Cell(c.row, c.column));
        EditCell(c.row, c.column, text);
        const bool kept = c.value == kSame || c.value == kRefused;
        const int value = kept ? before : c.value;
        EXPECT_EQ(Field(c.row, c.column), value);
        EXPECT_EQ(Cell(c.row, c.column), value == 20000 ? "none" : std::to_string(value));
        EXPECT_EQ(ImagePosition(c.row, c.column), value);
        EXPECT_EQ(Sent("FWwriteEE"), writes + (kept ? 0 : 1));
        EXPECT_EQ(Sent("FWGOTO"), gotos + c.gotos);
        if (c.gotos > 0) {  // the image first, read back, then the wheel
            const auto keywords = emulator_->ReceivedKeywords();
            EXPECT_EQ(std::vector(keywords.end() - 4, keywords.end()),
                      (std::vector<std::string>{"FWwriteEE", "FWreadEE", "FWCOUNT", "FWGOTO"}));
        }
        ASSERT_EQ(MessageCount(), shown + (c.value == kRefused ? 1 : 0));
        EXPECT_TRUE(c.value != kRefused || LastMessage().find(c.text) != std::string::npos);
    }
    // A write the controller does not take leaves its value in the cell and says why.
    emulator_->AddFault({sim::FaultKind::kWriteEENak, "FWwriteEE"});
    EditCell(1, 2, "321");
    EXPECT_EQ(Cell(1, 2), "123");
    EXPECT_EQ(LastMessage(),
              "Контроллер не принял таблицу фильтров.\n\nthe controller did not accept the "
              "configuration");
    for (Point at : {CellCentre(1, 1), Point{-5, -5}}) EXPECT_FALSE(dialog_->BeginCellEdit(at));
}

// The editor opens over the clicked cell with its text and the arrows' range; a click on
// another cell stores the open editor first, and a tick stores an editor the focus has left
// (also for another window, where no control of the dialog has it).
TEST_F(FilterListTest, EditorIsStoredHoweverItIsLeft) {
    ASSERT_TRUE(dialog_->BeginCellEdit(CellCentre(2, 3)));
    EXPECT_EQ(W().FocusedControl(), Id::CellEditor);
    EXPECT_EQ(W().Text(Id::CellEditor), Cell(2, 3));
    W().Type(Id::CellEditor, "-41");
    W().Focus(-1);  // another window
    Tick();
    EXPECT_FALSE(W().CellEditorOpen());
    EXPECT_EQ(ImagePosition(2, 3), -41);

    ASSERT_TRUE(dialog_->BeginCellEdit(CellCentre(1, 2)));
    W().Type(Id::CellEditor, "4321");  // beyond the arrows' range: taken as typed
    W().ListClick(Id::FilterList, CellCentre(3, 3));
    EXPECT_EQ(ImagePosition(1, 2), 4321);
    EXPECT_TRUE(W().CellEditorOpen());
    EXPECT_EQ(W().Text(Id::CellEditor), Cell(3, 3));
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
    ASSERT_EQ(Rows(), 5);
    EXPECT_EQ(Cell(0, 0), "L");
    EXPECT_EQ(Cell(2, 0), "Красный");
    EXPECT_EQ(Cell(0, 3), "10000");
    EXPECT_EQ(Cell(1, 3), "none");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Cell(i, 1), std::to_string(i));
        EXPECT_EQ(Cell(i, 2), std::to_string(Field(i, 2)));
        EXPECT_EQ(W().RowImage(Id::FilterList, i), i == 0 ? 1 : 0);
    }
    W().EditLabel(Id::FilterList, 1, "Красный");
    EXPECT_EQ(sim::FilterName(emulator_->GetImage(), 1), red);
    W().EditLabel(Id::FilterList, 3, "Светофил");  // eight Cyrillic letters fill the slot
    EXPECT_EQ(Cell(3, 0), "Светофил");
    dialog_->FillFilterList();
    EXPECT_EQ(Cell(3, 0), "Светофил");
    EXPECT_EQ(sim::FilterName(emulator_->GetImage(), 3), "\xD1\xE2\xE5\xF2\xEE\xF4\xE8\xEB");
    EXPECT_EQ(Sent("FWWRITENAME"), 2);
    EXPECT_TRUE(Messages().empty());

    // A name the rule of every front end refuses is refused whole, never cut: nothing is sent,
    // and the row keeps its name.
    const std::pair<std::string, std::string> refused[] = {{"Светофильтр", "длиннее 8 символов"},
                                                           {"A\tB", "управляющий символ"},
                                                           {"H\u03B1", "\u03B1"}};
    for (const auto& [text, reason] : refused) {
        W().EditLabel(Id::FilterList, 4, text);
        EXPECT_NE(LastMessage().find(reason), std::string::npos) << LastMessage();
    }
    EXPECT_EQ(MessageCount(), 3);
    EXPECT_EQ(Sent("FWWRITENAME"), 2);
    EXPECT_EQ(Cell(4, 0), sim::FilterName(emulator_->GetImage(), 4));
}

}  // namespace
}  // namespace kavri::ui::test
