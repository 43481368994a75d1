#include "gridview/qtgridview.h"

#include <QFontMetrics>
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

TEST(Twips, ConvertWithTheLogicalResolutionAndRoundTrip) {
    const struct {
        int64_t twips, dpi, pixels;
    } cases[] = {{1200, 96, 80}, {1200, 120, 100}, {1200, 144, 120}, {7, 96, 0}, {8, 96, 1}};
    for (const auto& c : cases) EXPECT_EQ(pixelsFromTwips(c.twips, c.dpi), c.pixels) << c.twips;
    for (double dpi : {72.0, 96.0, 120.0, 144.0, 192.0})
        for (int64_t px = 0; px < 2000; ++px)
            ASSERT_EQ(pixelsFromTwips(twipsFromPixels(px, dpi), dpi), px) << dpi;
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
    EXPECT_EQ(grid.ColWidth(2), 1234);
    EXPECT_EQ(grid.columnWidth(1), pixels(1234));
    grid.setColWidth(0, 300);
    EXPECT_EQ(grid.verticalHeader()->width(), pixels(300));
    grid.horizontalHeader()->resizeSection(2, 137);  // a dragged column edge
    EXPECT_EQ(grid.ColWidth(3), twipsFromPixels(137, grid.logicalDpiX()));
    for (int64_t bad : {cols, int64_t{-2}}) {
        grid.setColWidth(bad, 50);
        EXPECT_EQ(grid.ColWidth(bad), 0) << bad;
    }
    grid.setColWidth(1, -500);
    EXPECT_EQ(grid.ColWidth(1), 0);

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

TEST_F(GridViewTest, PositionsCountTheHeaderRowAndTheRowHeaderColumn) {
    grid.setDataSource(makeTable({"date", "time", "c-ip"}, {{"d1", "t1", "1"}, {"d2", "t2", "2"}}));
    EXPECT_EQ(grid.Text(), QStringLiteral("d1"));
    EXPECT_FALSE(grid.model()->flags(grid.model()->index(0, 0)).testFlag(Qt::ItemIsEditable));
    const struct {
        int64_t row, col;
        const char* text;
    } cells[] = {{0, 3, "c-ip"}, {2, 3, "2"}, {2, 0, ""}, {2, 10, ""}};
    for (const auto& c : cells) {
        grid.setRow(c.row);
        grid.setCol(c.col);
        EXPECT_EQ(grid.Text(), QString::fromUtf8(c.text)) << c.row << ',' << c.col;
    }
    grid.setRow(3);  // beyond the last row or column: ignored
    grid.setRow(-1);
    grid.setCol(grid.Cols());
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_EQ(grid.Col(), 10);
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
    for (int i = 0; i < 600; ++i) {
        rows.push_back({std::to_string(i), alphabet[rng() % alphabet.size()],
                        alphabet[rng() % alphabet.size()], alphabet[rng() % alphabet.size()]});
    }
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
        grid.setRow(2);
        grid.setCol(col);
        grid.setColSel(colSel);
        grid.Sort();
        for (size_t r = 0; r < rows.size(); ++r)
            ASSERT_EQ(grid.gridModel()->storageRow(r), expected[r]) << col << ',' << colSel;
        EXPECT_EQ(grid.Row(), 2);  // the current cell stays where it was
        EXPECT_EQ(grid.Col(), col);
        for (size_t i = 0; i < table->rowCount(); ++i) EXPECT_EQ(table->viewRow(i), i);
    }
    grid.setDataSource(makeTable({}, {}));
    grid.Sort();
    EXPECT_EQ(grid.Rows(), 1);
}

TEST(LogViewFont, HasKanaAndKanji) {
    const QFontMetrics metrics(logViewFont());
    for (char32_t c : {U'日', U'本', U'ア', U'あ', U'ｷ', U'A'})
        EXPECT_TRUE(metrics.inFontUcs4(c)) << static_cast<uint32_t>(c);
}

}  // namespace
}  // namespace brevadin
