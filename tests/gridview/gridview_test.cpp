#include "gridview/qtgridview.h"

#include <QHeaderView>
#include <QItemSelectionModel>

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <tuple>

#include "gridview/qtgridmodel.h"
#include "tests/support/tables.h"

namespace brevadin {
namespace {

using testing::makeTable;
using Rows = std::vector<std::vector<std::string>>;

// An inch is 1440 twips, and a width read back converts to the same pixels.
TEST(Twips, ConvertWithTheLogicalResolutionAndRoundTrip) {
    EXPECT_EQ(pixelsFromTwips(7, 96), 0);  // under half a pixel
    EXPECT_EQ(pixelsFromTwips(8, 96), 1);
    for (int64_t dpi : {72, 96, 120, 144, 192}) {
        EXPECT_EQ(pixelsFromTwips(1440, dpi), dpi);
        for (int64_t px = 0; px < 2000; ++px)
            ASSERT_EQ(pixelsFromTwips(twipsFromPixels(px, dpi), dpi), px) << dpi;
    }
}

class GridViewTest : public ::testing::Test {
protected:
    int pixels(int64_t twips) const { return pixelsFromTwips(twips, grid.logicalDpiX()); }
    GridView grid;
};

// The settings keep the widths of all columns, whichever table is shown.
TEST_F(GridViewTest, WidthsInTwipsBelongToTheGridAcrossBindings) {
    const int64_t initial = grid.ColWidth(5), cols = grid.Cols();
    grid.setColWidth(30, 3000);
    grid.setDataSource(makeTable({"a", "b", "c"}, {{"1", "2", "3"}}));
    grid.setColWidth(2, 1234);  // not a whole number of pixels at usual resolutions
    EXPECT_EQ(grid.columnWidth(1), pixels(1234));
    grid.setColWidth(0, 300);
    EXPECT_EQ(grid.verticalHeader()->width(), pixels(300));
    grid.horizontalHeader()->resizeSection(2, 137);  // a dragged column edge
    EXPECT_EQ(grid.ColWidth(3), twipsFromPixels(137, grid.logicalDpiX()));
    grid.setColWidth(cols, 50);  // beyond the grid: ignored, not grown into
    grid.setColWidth(-2, 50);
    grid.setColWidth(1, -500);  // below zero: none
    EXPECT_EQ(grid.ColWidth(cols) + grid.ColWidth(-2) + grid.ColWidth(1), 0);

    std::vector<std::string> wide;
    for (int i = 0; i < cols + 5; ++i) wide.push_back("f" + std::to_string(i));
    grid.setDataSource(makeTable(wide, {}));
    EXPECT_EQ(grid.ColWidth(cols + 5), initial);
    EXPECT_EQ(grid.columnWidth(29), pixels(3000));  // kept while a narrow table was shown
    grid.setDataSource(nullptr);
    EXPECT_EQ(grid.Cols(), cols + 6);  // unbinding does not shrink the grid
    EXPECT_EQ(grid.ColWidth(2), 1234);
    grid.setColWidth(-1, 999);
    for (int64_t c = 0; c < grid.Cols(); ++c) ASSERT_EQ(grid.ColWidth(c), 999) << c;

    grid.setDataSource(makeTable({"a", "b", "c"}, {}));
    for (auto [set, got] : {std::pair{10, 10}, {2, 4}, {0, 4}}) {
        grid.setCols(set);  // never below the bound table and its row headers
        EXPECT_EQ(grid.Cols(), got) << set;
    }
}

TEST_F(GridViewTest, PositionsOutsideTheGridAreIgnoredAndCellsAreReadOnly) {
    grid.setDataSource(makeTable({"date", "time", "c-ip"}, {{"d1", "t1", "1"}, {"d2", "t2", "2"}}));
    EXPECT_FALSE(grid.model()->flags(grid.model()->index(0, 0)).testFlag(Qt::ItemIsEditable));
    grid.selectCells(2, 3, 2, 3);
    for (int64_t bad : {int64_t{-1}, grid.Rows()}) grid.setRow(bad);
    for (int64_t bad : {int64_t{-1}, grid.Cols()}) grid.setCol(bad);
    EXPECT_EQ(grid.Text(), QStringLiteral("2"));
}

TEST_F(GridViewTest, TheViewHighlightsTheRectangleFromTheCurrentCellToTheFarCorner) {
    grid.setDataSource(makeTable({"a", "b", "c", "d"}, Rows(6, {"a", "b", "c", "d"})));
    const auto selected = [&](int r, int c) {
        return grid.selectionModel()->isSelected(grid.model()->index(r, c));
    };
    grid.selectCells(5, 3, 2, 1);
    EXPECT_TRUE(selected(1, 0) && selected(4, 2));
    EXPECT_FALSE(selected(0, 0) || selected(4, 3));
    EXPECT_EQ(grid.currentIndex(), grid.model()->index(4, 2));
    grid.setRow(1);  // moving the current cell collapses the selection onto it
    EXPECT_EQ(grid.selectionModel()->selectedIndexes().size(), 1);
    grid.selectCells(0, 3, 2, 3);  // the header row is not in the view; its data rows are
    EXPECT_TRUE(selected(0, 2) && selected(1, 2));
    EXPECT_FALSE(grid.currentIndex().isValid());
}

// Keys from a small alphabet, mixed case, prefixes and Japanese, so that ties
// on the first key are common and the second key and stability both matter.
TEST_F(GridViewTest, SortIsAStableDescendingSortByCharacterCodeOnTheSelectedColumns) {
    const std::vector<std::string> alphabet = {"a", "A", "b", "日本", "にほん", "", "Z", "a-"};
    std::mt19937 rng(7);
    Rows rows;
    const auto pick = [&] { return alphabet[rng() % alphabet.size()]; };
    for (int i = 0; i < 600; ++i) rows.push_back({std::to_string(i), pick(), pick(), pick()});
    // Keys k1 then k2 whichever way round they were selected, and k3 too when
    // the selection runs on into a column the table does not fill.
    for (auto [col, colSel, keys] : {std::tuple{2, 3, 2}, {3, 2, 2}, {2, 5, 3}}) {
        std::vector<size_t> expected(rows.size());
        std::iota(expected.begin(), expected.end(), 0);
        std::stable_sort(expected.begin(), expected.end(), [&](size_t a, size_t b) {
            for (int k = 1; k <= keys; ++k)
                if (rows[a][k] != rows[b][k]) return rows[a][k] > rows[b][k];
            return false;
        });
        auto table = makeTable({"id", "k1", "k2", "k3"}, rows);
        grid.setDataSource(table);
        grid.selectCells(2, col, 2, colSel);
        grid.Sort();
        for (size_t r = 0; r < rows.size(); ++r)
            ASSERT_EQ(grid.gridModel()->storageRow(r), expected[r]) << col << ',' << colSel;
        EXPECT_TRUE(grid.Row() == 2 && grid.Col() == col);  // the current cell stays
        for (size_t i = 0; i < table->rowCount(); ++i) EXPECT_EQ(table->viewRow(i), i);
    }
    grid.setDataSource(makeTable({}, {}));
    grid.Sort();
    EXPECT_EQ(grid.Rows(), 1);
}

// Right-aligned exactly where every value is a number, "-" and empty aside.
TEST_F(GridViewTest, ColumnsOfNumbersAloneAreRightAligned) {
    const std::vector<std::string> names = {"sc-status", "sc-bytes", "time",  "c-ip",
                                            "dashes",    "signed",   "bare+", "1e3"};
    const bool right[] = {true, true, false, false, false, true, false, false};
    grid.setDataSource(
        makeTable(names, {{"200", "-", "00:00:01", "192.0.2.1", "-", "-5", "-5", "2"},
                          {"404", "1024", "00:00:02", "3.5", "", "0.25", "+", "1e3"},
                          {"304", "", "x", "10", "-", "+7", "1", "3"}}));
    for (int c = 0; c < 8; ++c) {
        const int align = grid.model()->index(0, c).data(Qt::TextAlignmentRole).toInt();
        EXPECT_EQ((align & Qt::AlignRight) != 0, right[c]) << names[static_cast<size_t>(c)];
    }
}

}  // namespace
}  // namespace brevadin
