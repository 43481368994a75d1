#include "gridview/qtgridview.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "gridview/qtgridmodel.h"
#include "logdata/recordset.h"

namespace brevadin {
namespace {

using Rows = std::vector<std::vector<std::string>>;

RecordsetPtr makeTable(const std::vector<std::string>& fields, const Rows& rows) {
    auto t = std::make_shared<Recordset>();
    for (const auto& f : fields) t->appendField(f);
    t->open();
    for (const auto& r : rows) {
        const size_t row = t->appendRow();
        for (size_t c = 0; c < r.size(); ++c) t->setValue(row, c, r[c]);
    }
    return t;
}

// The texts of one grid column, data rows from the top.
std::vector<std::string> gridColumn(const GridView& grid, size_t field) {
    std::vector<std::string> out;
    const GridModel* m = grid.gridModel();
    for (size_t r = 0; r < m->rows(); ++r) out.push_back(m->cellText(r, field).toStdString());
    return out;
}

QString u8(const char* s) {
    return QString::fromUtf8(s);
}

TEST(GridModel, HeadersAreFieldNamesAndCellsKeepJapaneseText) {
    auto t = makeTable({"date", "c-ip", "cs(Referer)"},
                       {{"2003-05-01", "ホスト [192.0.2.1]", "http://例え.jp/検索?q=ログ"},
                        {"2003-05-02", "", "-"}});
    GridModel model;
    model.setTable(t);
    ASSERT_EQ(model.columnCount(), 3);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), u8("date"));
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), u8("cs(Referer)"));
    // The row-header column is blank rather than numbered.
    EXPECT_FALSE(model.headerData(0, Qt::Vertical).isValid());
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), u8("ホスト [192.0.2.1]"));
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), u8("http://例え.jp/検索?q=ログ"));
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), QString());
    EXPECT_FALSE(model.data(model.index(0, 1), Qt::EditRole).isValid());
    EXPECT_FALSE(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsEditable));
}

TEST(GridModel, TakesTheTablesVisibleRowsAndNeverReordersTheTable) {
    auto t = makeTable({"k", "v"}, {{"x", "1"}, {"y", "2"}, {"x", "3"}, {"z", "4"}, {"x", "5"}});
    t->setFilter("k='x' or k='z'");
    GridModel model;
    model.setTable(t);
    ASSERT_EQ(model.rows(), 4u);
    EXPECT_EQ(model.cellText(0, 1), u8("1"));
    EXPECT_EQ(model.cellText(3, 1), u8("5"));

    model.sortRows({{0, true}});
    EXPECT_EQ(model.cellText(0, 0), u8("z"));
    // The table's own view is as it was.
    std::vector<size_t> view;
    for (size_t i = 0; i < t->rowCount(); ++i) view.push_back(t->viewRow(i));
    EXPECT_EQ(view, (std::vector<size_t>{0, 2, 3, 4}));
}

TEST(GridModel, EmptyAndClosedTablesShowNothingAndDoNotCrash) {
    GridModel model;
    model.setTable(nullptr);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
    EXPECT_EQ(model.cellText(0, 0), QString());

    auto t = makeTable({"a", "b"}, {{"1", "2"}, {"3", "4"}});
    model.setTable(t);
    t->close();  // drops the rows the model still points at
    EXPECT_EQ(model.cellText(1, 1), QString());
    EXPECT_FALSE(model.data(model.index(1, 0)).toString().size());
    EXPECT_EQ(model.cellText(0, 7), QString());
}

TEST(Twips, ConvertWithTheLogicalResolution) {
    EXPECT_EQ(pixelsFromTwips(1200, 96), 80);
    EXPECT_EQ(pixelsFromTwips(1200, 120), 100);
    EXPECT_EQ(pixelsFromTwips(1200, 144), 120);
    EXPECT_EQ(pixelsFromTwips(7, 96), 0);  // under half a pixel
    EXPECT_EQ(pixelsFromTwips(8, 96), 1);
    for (double dpi : {72.0, 96.0, 120.0, 144.0, 192.0}) {
        for (int64_t px = 0; px < 2000; ++px) {
            ASSERT_EQ(pixelsFromTwips(twipsFromPixels(px, dpi), dpi), px) << dpi;
        }
    }
}

class GridViewTest : public ::testing::Test {
protected:
    GridView grid;
    double dpi() const { return grid.logicalDpiX(); }
};

TEST_F(GridViewTest, StartsWithFortyColumnsOf1200TwipsAndOnlyAHeaderRow) {
    EXPECT_EQ(grid.Cols(), 40);
    EXPECT_EQ(grid.Rows(), 1);
    EXPECT_EQ(grid.FixedRows(), 1);
    EXPECT_EQ(grid.FixedCols(), 1);
    for (int64_t c = 0; c < 40; ++c) EXPECT_EQ(grid.ColWidth(c), 1200) << c;
    EXPECT_EQ(grid.DataSource(), nullptr);
}

TEST_F(GridViewTest, WidthsReadBackAsSetAndDriveThePixelWidths) {
    grid.setDataSource(makeTable({"a", "b", "c"}, {{"1", "2", "3"}}));
    // 1234 twips is not a whole number of pixels at any usual resolution.
    grid.setColWidth(2, 1234);
    EXPECT_EQ(grid.ColWidth(2), 1234);
    EXPECT_EQ(grid.columnWidth(1), pixelsFromTwips(1234, dpi()));
    grid.setColWidth(0, 300);
    EXPECT_EQ(grid.ColWidth(0), 300);
    EXPECT_EQ(grid.verticalHeader()->width(), pixelsFromTwips(300, dpi()));

    // Columns the table does not fill keep their widths too.
    grid.setColWidth(39, 4321);
    EXPECT_EQ(grid.ColWidth(39), 4321);

    grid.setColWidth(-1, 999);
    for (int64_t c = 0; c < grid.Cols(); ++c) ASSERT_EQ(grid.ColWidth(c), 999) << c;
    for (int c = 0; c < 3; ++c) EXPECT_EQ(grid.columnWidth(c), pixelsFromTwips(999, dpi()));

    grid.setColWidth(40, 50);  // beyond the grid
    grid.setColWidth(-2, 50);
    EXPECT_EQ(grid.ColWidth(40), 0);
    EXPECT_EQ(grid.ColWidth(-2), 0);
    EXPECT_EQ(grid.Cols(), 40);
    grid.setColWidth(1, -500);
    EXPECT_EQ(grid.ColWidth(1), 0);
}

TEST_F(GridViewTest, WidthsBelongToTheGridAcrossBindings) {
    grid.setColWidth(1, 2000);
    grid.setColWidth(30, 3000);
    grid.setDataSource(makeTable({"a", "b", "c"}, {{"1", "2", "3"}}));
    EXPECT_EQ(grid.Cols(), 40);  // a narrow table does not shrink the grid
    EXPECT_EQ(grid.ColWidth(1), 2000);
    EXPECT_EQ(grid.ColWidth(30), 3000);
    EXPECT_EQ(grid.columnWidth(0), pixelsFromTwips(2000, dpi()));

    std::vector<std::string> wide;
    for (int i = 0; i < 45; ++i) wide.push_back("f" + std::to_string(i));
    grid.setDataSource(makeTable(wide, {}));
    EXPECT_EQ(grid.Cols(), 46);
    EXPECT_EQ(grid.ColWidth(45), 1200);
    EXPECT_EQ(grid.ColWidth(30), 3000);
    EXPECT_EQ(grid.columnWidth(44), pixelsFromTwips(1200, dpi()));

    grid.setDataSource(nullptr);
    EXPECT_EQ(grid.Cols(), 46);
    EXPECT_EQ(grid.ColWidth(1), 2000);
}

TEST_F(GridViewTest, ColsCanBeSetButNotBelowTheBoundTable) {
    grid.setDataSource(makeTable({"a", "b", "c"}, {}));
    grid.setCols(10);
    EXPECT_EQ(grid.Cols(), 10);
    grid.setCols(2);
    EXPECT_EQ(grid.Cols(), 4);
    grid.setCols(12);
    EXPECT_EQ(grid.ColWidth(11), 1200);
    grid.setDataSource(nullptr);
    grid.setCols(0);
    EXPECT_EQ(grid.Cols(), 1);  // the row-header column always remains
}

TEST_F(GridViewTest, ADraggedColumnEdgeIsRememberedInTwips) {
    grid.setDataSource(makeTable({"a", "b"}, {{"1", "2"}}));
    grid.horizontalHeader()->resizeSection(1, 137);
    EXPECT_EQ(grid.ColWidth(2), twipsFromPixels(137, dpi()));
    EXPECT_EQ(grid.ColWidth(1), 1200);
}

TEST_F(GridViewTest, PositionsCountTheHeaderRowAndTheRowHeaderColumn) {
    grid.setDataSource(
        makeTable({"date", "time", "c-ip"}, {{"d1", "t1", "ip1"}, {"d2", "t2", "ip2"}}));
    EXPECT_EQ(grid.Rows(), 3);
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_EQ(grid.Col(), 1);
    EXPECT_EQ(grid.Text(), u8("d1"));

    grid.setRow(0);
    grid.setCol(3);
    EXPECT_EQ(grid.Text(), u8("c-ip"));
    grid.setRow(2);
    EXPECT_EQ(grid.Text(), u8("ip2"));
    EXPECT_EQ(grid.currentIndex(), grid.model()->index(1, 2));
    grid.setCol(0);
    EXPECT_EQ(grid.Text(), QString());
    grid.setCol(10);  // inside the grid, beyond the table
    EXPECT_EQ(grid.Text(), QString());

    grid.setRow(3);  // beyond the last row: ignored
    grid.setRow(-1);
    grid.setCol(40);
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_EQ(grid.Col(), 10);
}

TEST_F(GridViewTest, TheSelectionIsTheRectangleFromTheCurrentCellToTheFarCorner) {
    Rows rows;
    for (int i = 0; i < 6; ++i) rows.push_back({"a" + std::to_string(i), "b", "c", "d"});
    grid.setDataSource(makeTable({"a", "b", "c", "d"}, rows));
    grid.setRow(5);
    grid.setCol(3);
    grid.setRowSel(2);
    grid.setColSel(1);
    EXPECT_EQ(grid.Row(), 5);
    EXPECT_EQ(grid.RowSel(), 2);
    const QItemSelectionModel* sm = grid.selectionModel();
    EXPECT_TRUE(sm->isSelected(grid.model()->index(1, 0)));
    EXPECT_TRUE(sm->isSelected(grid.model()->index(4, 2)));
    EXPECT_FALSE(sm->isSelected(grid.model()->index(0, 0)));
    EXPECT_FALSE(sm->isSelected(grid.model()->index(4, 3)));
    EXPECT_EQ(grid.currentIndex(), grid.model()->index(4, 2));

    // Moving the current cell collapses the selection onto it.
    grid.setRow(1);
    EXPECT_EQ(grid.RowSel(), 1);
    EXPECT_EQ(grid.ColSel(), 3);
    EXPECT_EQ(sm->selectedIndexes().size(), 1);

    // The header row cannot be selected in the view; its data rows can.
    grid.setRow(0);
    grid.setRowSel(2);
    EXPECT_TRUE(sm->isSelected(grid.model()->index(0, 2)));
    EXPECT_TRUE(sm->isSelected(grid.model()->index(1, 2)));
    EXPECT_FALSE(grid.currentIndex().isValid());
}

TEST_F(GridViewTest, KeyboardSelectionKeepsTheAnchorAsTheCurrentCell) {
    Rows rows(5, {"x", "y", "z"});
    grid.setDataSource(makeTable({"a", "b", "c"}, rows));
    grid.resize(600, 400);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    grid.setRow(2);
    grid.setCol(2);
    QTest::keyClick(&grid, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&grid, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&grid, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_EQ(grid.Col(), 2);
    EXPECT_EQ(grid.RowSel(), 4);
    EXPECT_EQ(grid.ColSel(), 3);

    QTest::keyClick(&grid, Qt::Key_Up);  // a plain move starts over
    EXPECT_EQ(grid.Row(), 3);
    EXPECT_EQ(grid.Col(), 3);
    EXPECT_EQ(grid.RowSel(), 3);
}

TEST_F(GridViewTest, SortIsDescendingCaseSensitiveAndStable) {
    // Character codes: 'b' > 'a' > 'B' > 'A'; "ab" > "a" (a prefix sorts lower).
    grid.setDataSource(makeTable(
        {"key", "order"},
        {{"b", "1"}, {"B", "2"}, {"a", "3"}, {"A", "4"}, {"b", "5"}, {"ab", "6"}, {"a", "7"}}));
    grid.setCol(1);
    grid.setColSel(1);
    grid.Sort();
    EXPECT_EQ(gridColumn(grid, 0), (std::vector<std::string>{"b", "b", "ab", "a", "a", "B", "A"}));
    EXPECT_EQ(gridColumn(grid, 1), (std::vector<std::string>{"1", "5", "6", "3", "7", "2", "4"}));
    // The current cell stays where it was.
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_EQ(grid.Col(), 1);
}

TEST_F(GridViewTest, SortMatchesAStableDescendingSortOnTheSelectedColumns) {
    // Keys from a small alphabet, mixed case and Japanese, so that ties on the
    // first key are common and the second key and stability both matter.
    const std::vector<std::string> alphabet = {"a", "A", "b", "日本", "にほん", "", "Z", "a-"};
    std::mt19937 rng(7);
    Rows rows;
    for (int i = 0; i < 600; ++i) {
        rows.push_back({std::to_string(i), alphabet[rng() % alphabet.size()],
                        alphabet[rng() % alphabet.size()], alphabet[rng() % alphabet.size()]});
    }
    grid.setDataSource(makeTable({"id", "k1", "k2", "k3"}, rows));
    grid.setCol(2);
    grid.setColSel(3);  // keys k1 then k2; k3 is not a key
    grid.Sort();

    std::vector<size_t> expected(rows.size());
    std::iota(expected.begin(), expected.end(), 0);
    std::stable_sort(expected.begin(), expected.end(), [&](size_t a, size_t b) {
        if (rows[a][1] != rows[b][1]) return rows[a][1] > rows[b][1];
        return rows[a][2] > rows[b][2];
    });
    std::vector<std::string> expectedIds;
    for (size_t i : expected) expectedIds.push_back(rows[i][0]);
    EXPECT_EQ(gridColumn(grid, 0), expectedIds);

    // Col to the right of ColSel names the same columns.
    grid.setDataSource(makeTable({"id", "k1", "k2", "k3"}, rows));
    grid.setCol(3);
    grid.setColSel(2);
    grid.Sort();
    EXPECT_EQ(gridColumn(grid, 0), expectedIds);
}

TEST_F(GridViewTest, SortIgnoresColumnsTheTableDoesNotFill) {
    grid.setDataSource(makeTable({"only"}, {{"b"}, {"c"}, {"a"}}));
    grid.setCol(1);
    grid.setColSel(2);
    grid.Sort();
    EXPECT_EQ(gridColumn(grid, 0), (std::vector<std::string>{"c", "b", "a"}));

    grid.setDataSource(makeTable({}, {}));
    grid.setColSel(2);
    grid.Sort();
    EXPECT_EQ(grid.Rows(), 1);
    EXPECT_EQ(grid.Text(), QString());
}

TEST(LogViewFont, AsksForTheJapaneseFontAndGetsOneWithKanaAndKanji) {
    const QFont font = logViewFont();
    EXPECT_EQ(font.family(), u8("ＭＳ Ｐゴシック"));
    EXPECT_EQ(font.pointSize(), 9);
    EXPECT_FALSE(font.bold());
    const QFontMetrics metrics(font);
    for (char32_t c : {U'日', U'本', U'ア', U'あ', U'ｷ', U'A'}) {
        EXPECT_TRUE(metrics.inFontUcs4(c)) << static_cast<uint32_t>(c);
    }
}

}  // namespace
}  // namespace brevadin
