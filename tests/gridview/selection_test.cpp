#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>

#include <gtest/gtest.h>

#include <array>

#include "gridview/datagridtab.h"
#include "gridview/qtgridview.h"
#include "tests/support/tables.h"

namespace brevadin {
namespace {

using testing::makeTable;
using Corners = std::array<int64_t, 4>;  // Row, Col, RowSel, ColSel

QString clipboardText() {
    return QGuiApplication::clipboard()->text();
}
Corners corners(const GridView* g) {
    return {g->Row(), g->Col(), g->RowSel(), g->ColSel()};
}

// Shown newest first: row 1 is the 05-03 line, row 3 the 05-01 one.
RecordsetPtr accessLog() {
    return makeTable({"date", "time", "c-ip", "cs-uri-stem"},
                     {{"2003-05-01", "09:00:00", "a", "/a"},
                      {"2003-05-03", "08:00:00", "c", "/c"},
                      {"2003-05-02", "10:00:00", "b", "/b"}});
}

class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A marker shows whether a command left the clipboard alone.
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        view.resize(800, 500);
        view.AddTab(QStringLiteral("ex030501.log"), accessLog());
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    GridView* grid() const { return view.DBGrig(); }
    QPoint cellCentre(int row, int col) const {
        return grid()->visualRect(grid()->model()->index(row - 1, col - 1)).center();
    }
    DataGridTab view;
};

// A selection from any corner to any other, or everything with the header
// row: TAB between cells, CR LF between rows, nothing quoted, and the current
// cell and selection stay where they were.
TEST(Copy, TakesTheSelectedCellsAsShown) {
    // The date decides before the time; equal keys keep the table's order.
    auto odd = makeTable({"date", "time", "備考"}, {{"2003-05-01", "10:00:00", "a\tb"},
                                                    {"2003-05-02", "08:00:00", "1\r\n2 \"q\""},
                                                    {"2003-05-01", "23:59:59", "ｶﾀｶﾅと𠮷野家"},
                                                    {"2003-05-02", "08:00:00", ""}});
    auto filtered = makeTable({"date", "time", "k"}, {{"2003-05-01", "01:00:00", "x"},
                                                      {"2003-05-02", "01:00:00", "hidden"},
                                                      {"2003-05-03", "01:00:00", "x"}});
    filtered->setFilter("k='x'");
    const struct {
        RecordsetPtr table;
        Corners selection;  // Row < 0: select all
        bool closeTable;    // closed behind the grid's back
        const char* expected;
    } cases[] = {
        {accessLog(), {2, 3, 2, 3}, false, "b"},
        {accessLog(), {1, 2, 2, 4}, false, "08:00:00\tc\t/c\r\n10:00:00\tb\t/b"},
        {accessLog(), {2, 3, 1, 2}, false, "08:00:00\tc\r\n10:00:00\tb"},
        {accessLog(), {1, 3, 2, 2}, false, "08:00:00\tc\r\n10:00:00\tb"},
        // The row-header column and columns beyond the table are empty cells.
        {accessLog(), {1, 0, 1, 6}, false, "\t2003-05-03\t08:00:00\tc\t/c\t\t"},
        {accessLog(), {1, 1, 2, 2}, true, "\t\r\n\t"},
        {makeTable({"date", "time", "c-ip"}, {}), {-1}, false, "date\ttime\tc-ip"},
        {odd,
         {-1},
         false,
         "date\ttime\t備考\r\n2003-05-02\t08:00:00\t1\r\n2 \"q\"\r\n2003-05-02\t08:00:00\t\r\n"
         "2003-05-01\t23:59:59\tｶﾀｶﾅと𠮷野家\r\n2003-05-01\t10:00:00\ta\tb"},
        {filtered,
         {-1},
         false,
         "date\ttime\tk\r\n2003-05-03\t01:00:00\tx\r\n2003-05-01\t01:00:00\tx"},
    };
    for (const auto& c : cases) {
        DataGridTab view;
        view.AddTab(QStringLiteral("ログ"), c.table);
        GridView* g = view.DBGrig();
        if (c.selection[0] < 0) {
            view.SelectAll();
            // Every shown cell is highlighted, none of the columns beyond.
            EXPECT_EQ(g->selectionModel()->selectedIndexes().size(),
                      static_cast<qsizetype>(c.table->rowCount() * c.table->fieldCount()));
        } else {
            g->selectCells(c.selection[0], c.selection[1], c.selection[2], c.selection[3]);
        }
        if (c.closeTable) c.table->close();
        const Corners before = corners(g);
        view.CopySelected();
        EXPECT_EQ(clipboardText(), QString::fromUtf8(c.expected));
        EXPECT_EQ(corners(g), before);
        for (size_t i = 1; i < c.table->rowCount(); ++i)
            EXPECT_LT(c.table->viewRow(i - 1), c.table->viewRow(i));  // table order untouched
    }
}

TEST(Copy, RowsBeyondSixteenBitsAreCopied) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 70000; ++i) rows.push_back({"2003-05-01", std::to_string(100000 + i)});
    DataGridTab view;
    view.AddTab(QStringLiteral("big.log"), makeTable({"date", "time"}, rows));
    view.SelectAll();
    view.CopySelected();
    const QStringList lines = clipboardText().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 70001);
    EXPECT_EQ(lines[1], QStringLiteral("2003-05-01\t169999"));
    EXPECT_EQ(lines.back(), QStringLiteral("2003-05-01\t100000"));
}

// Each sequence starts on the first data cell.
TEST_F(SelectionTest, KeysSelectAndCopyOrAreLeftToTheGrid) {
    const char* all =
        "date\ttime\tc-ip\tcs-uri-stem\r\n2003-05-03\t08:00:00\tc\t/c\r\n"
        "2003-05-02\t10:00:00\tb\t/b\r\n2003-05-01\t09:00:00\ta\t/a";
    const struct {
        const char* keys;
        bool asControlCharacters;  // as a platform may report them
        const char* clipboard;
        Corners after;
    } cases[] = {
        // The view's own Ctrl+C would put the current cell alone over ours.
        {"Ctrl+A, Ctrl+C", false, all, {0, 1, 3, 4}},
        {"Ctrl+A, Ctrl+C", true, all, {0, 1, 3, 4}},
        {"Ctrl+C", false, "2003-05-03", {1, 1, 1, 1}},
        {"C, Alt+A", false, "before", {1, 1, 1, 1}},
        // Shift keeps the anchor as the current cell; a plain move starts
        // over from the far corner.
        {"Shift+Down, Shift+Right", false, "before", {1, 1, 2, 2}},
        {"Shift+Right, Down", false, "before", {2, 2, 2, 2}},
    };
    grid()->setFocus();
    for (const auto& c : cases) {
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        grid()->selectCells(1, 1, 1, 1);
        const QKeySequence keys(QString::fromLatin1(c.keys));
        for (int i = 0; i < keys.count(); ++i) {
            const Qt::Key key = keys[i].key();
            const QChar text = c.asControlCharacters ? QChar(key & 0x1f) : QChar(key).toLower();
            QTest::sendKeyEvent(QTest::Click, grid(), key, key < 0x80 ? text : QString(),
                                keys[i].keyboardModifiers());
        }
        EXPECT_EQ(clipboardText(), QString::fromUtf8(c.clipboard)) << c.keys;
        EXPECT_EQ(corners(grid()), c.after) << c.keys;
    }
}

TEST_F(SelectionTest, WithNoTableShownNoCommandTouchesTheClipboard) {
    DataGridTab neverUsed;
    view.SelectAll();
    view.RemoveTab();  // the last tab gone again
    for (DataGridTab* v : {&neverUsed, &view}) {
        v->SelectAll();
        v->CopySelected();
        QTest::keyClick(v->DBGrig(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(v->DBGrig(), Qt::Key_C, Qt::ControlModifier);
        v->mitmSelectAll()->trigger();
        v->mitmCopy()->trigger();
        EXPECT_EQ(clipboardText(), QStringLiteral("before"));
    }
}

TEST_F(SelectionTest, TheMouseSelectsUpwardsOffersTheCopyMenuAndShowsTheCellAsToolTip) {
    QWidget* vp = grid()->viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, cellCentre(3, 4));
    QTest::mouseMove(vp, cellCentre(2, 3));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, cellCentre(2, 3));
    EXPECT_EQ(corners(grid()), (Corners{3, 4, 2, 3}));

    // A right click inside the selection keeps it for the menu's commands.
    QTest::mouseClick(vp, Qt::RightButton, {}, cellCentre(2, 4));
    EXPECT_TRUE(view.mnuCopy()->isVisible());
    view.mnuCopy()->hide();
    view.mitmCopy()->trigger();
    EXPECT_EQ(clipboardText(), QStringLiteral("b\t/b\r\na\t/a"));

    QTest::mouseClick(vp, Qt::LeftButton, {}, cellCentre(1, 3));
    EXPECT_FALSE(view.mnuCopy()->isVisible());
}

// The tool tip shows the clicked cell's text as it is, markup a visitor put
// into a log included: rendered, "<img src=/dev/zero>" would freeze the window.
TEST_F(SelectionTest, ALeftClickShowsTheClickedCellsTextAsAPlainToolTip) {
    const QString text = QStringLiteral("<h1><font color=red>X</font></h1> & <img src=/dev/zero>");
    view.AddTab(QStringLiteral("ex030501.log"), makeTable({"c-ip"}, {{text.toStdString()}, {"0"}}));
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cellCentre(1, 1));
    EXPECT_EQ(grid()->Text(), text);
    QHelpEvent help(QEvent::ToolTip, cellCentre(1, 1),
                    grid()->viewport()->mapToGlobal(cellCentre(1, 1)));
    QCoreApplication::sendEvent(grid()->viewport(), &help);
    QTextDocument shown;
    shown.setHtml(QToolTip::text());
    EXPECT_EQ(shown.toPlainText(), text);
    EXPECT_FALSE(view.mnuCopy()->isVisible());
    QToolTip::hideText();
}

// The header row, the row headers and the space below the last row are no cells.
TEST_F(SelectionTest, OnlyADoubleClickOnADataCellRaisesItemClick) {
    QHeaderView* fields = grid()->horizontalHeader();
    QHeaderView* rowHeads = grid()->verticalHeader();
    QSignalSpy spy(&view, &DataGridTab::ItemClick);
    for (auto [target, at] : {
             std::pair{fields->viewport(), QPoint(fields->sectionViewportPosition(2) + 5, 3)},
             {rowHeads->viewport(), QPoint(3, rowHeads->sectionViewportPosition(1) + 3)},
             {grid()->viewport(), QPoint(cellCentre(3, 1).x(), grid()->viewport()->height() - 3)},
             {grid()->viewport(), cellCentre(2, 3)},
         }) {
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
        QTest::mouseDClick(target, Qt::LeftButton, {}, at);
    }
    const QVariantList cell{QStringLiteral("c-ip"), QStringLiteral("b")};
    EXPECT_EQ(QList<QVariantList>(spy), QList<QVariantList>{cell});
}

}  // namespace
}  // namespace brevadin
