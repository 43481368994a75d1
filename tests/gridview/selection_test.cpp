#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gridview/datagridtab.h"
#include "gridview/qtgridmodel.h"
#include "gridview/qtgridview.h"
#include "logdata/recordset.h"
#include "tests/support/tables.h"

namespace brevadin {
namespace {

using testing::makeTable;

QString u8(const char* s) {
    return QString::fromUtf8(s);
}

QString clipboardText() {
    return QGuiApplication::clipboard()->text();
}

// Lines as the grid shows them (newest first): the dates and times are
// chosen so that the view's descending sort gives this order, row 1 first.
RecordsetPtr accessLog() {
    return makeTable({"date", "time", "c-ip", "cs-uri-stem"},
                     {{"2003-05-01", "09:00:00", "a.example.jp [192.0.2.1]", "/a.html"},
                      {"2003-05-03", "08:00:00", "Unknown [192.0.2.3]", "/c.html"},
                      {"2003-05-02", "10:00:00", "b.example.jp [192.0.2.2]", "/b.html"}});
}

class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A marker shows whether a command left the clipboard alone.
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        view.resize(800, 500);
    }

    GridView* grid() const { return view.DBGrig(); }

    void showView() {
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    QPoint cellCentre(int64_t row, int64_t col) const {
        const QModelIndex index =
            grid()->model()->index(static_cast<int>(row - 1), static_cast<int>(col - 1));
        return grid()->visualRect(index).center();
    }

    DataGridTab view;
};

TEST_F(SelectionTest, ASingleCellCopiesItsTextAloneAndTheSelectionStays) {
    view.AddTab(u8("ex030501.log"), accessLog());
    grid()->setRow(2);
    grid()->setCol(3);
    view.CopySelected();
    EXPECT_EQ(clipboardText(), u8("b.example.jp [192.0.2.2]"));
    // Copying reads the cells; it does not walk the current cell over them.
    EXPECT_EQ(grid()->Row(), 2);
    EXPECT_EQ(grid()->Col(), 3);
    EXPECT_EQ(grid()->RowSel(), 2);
    EXPECT_EQ(grid()->ColSel(), 3);
}

TEST_F(SelectionTest, ARectangleIsTabSeparatedWithCrLfBetweenRowsAndNoneAtTheEnd) {
    view.AddTab(u8("ex030501.log"), accessLog());
    grid()->setRow(1);
    grid()->setCol(2);
    grid()->setRowSel(2);
    grid()->setColSel(4);
    view.CopySelected();
    EXPECT_EQ(clipboardText(), u8("08:00:00\tUnknown [192.0.2.3]\t/c.html\r\n"
                                  "10:00:00\tb.example.jp [192.0.2.2]\t/b.html"));
}

TEST_F(SelectionTest, ARectangleDraggedUpwardsOrLeftwardsIsCopiedAsTheCellsItCovers) {
    view.AddTab(u8("ex030501.log"), accessLog());
    const QString expected =
        u8("08:00:00\tUnknown [192.0.2.3]\r\n"
           "10:00:00\tb.example.jp [192.0.2.2]");
    // Anchor bottom right, far corner top left.
    grid()->setRow(2);
    grid()->setCol(3);
    grid()->setRowSel(1);
    grid()->setColSel(2);
    view.CopySelected();
    EXPECT_EQ(clipboardText(), expected);
    // Anchor top right, far corner bottom left.
    grid()->setRow(1);
    grid()->setCol(3);
    grid()->setRowSel(2);
    grid()->setColSel(2);
    view.CopySelected();
    EXPECT_EQ(clipboardText(), expected);
}

TEST_F(SelectionTest, AMouseDragUpwardsCopiesTheRectangleItCovers) {
    view.AddTab(u8("ex030501.log"), accessLog());
    showView();
    QWidget* vp = grid()->viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, cellCentre(3, 4));
    QTest::mouseMove(vp, cellCentre(2, 3));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, cellCentre(2, 3));
    EXPECT_EQ(grid()->Row(), 3);
    EXPECT_EQ(grid()->RowSel(), 2);
    view.CopySelected();
    EXPECT_EQ(clipboardText(),
              u8("b.example.jp [192.0.2.2]\t/b.html\r\na.example.jp [192.0.2.1]\t/a.html"));
}

TEST_F(SelectionTest, CellsAreCopiedExactlyAsShownWithNothingQuoted) {
    view.AddTab(u8("odd.log"), makeTable({"date", "time", "note"},
                                         {{"2003-05-01", "00:00:00", "a\tb"},
                                          {"2003-05-02", "00:00:00", "line1\r\nline2 \"quoted\""},
                                          {"2003-05-03", "00:00:00", ""}}));
    grid()->setRow(1);
    grid()->setCol(3);
    grid()->setRowSel(3);
    view.CopySelected();
    EXPECT_EQ(clipboardText(), u8("\r\nline1\r\nline2 \"quoted\"\r\na\tb"));
}

TEST_F(SelectionTest, SelectAllTakesTheHeaderRowAndEveryBoundFieldButNoEmptyColumns) {
    view.AddTab(u8("w3c.log"), makeTable({"date", "time"},
                                         {{"2003-05-01", "10:00:00"}, {"2003-05-01", "11:30:00"}}));
    ASSERT_EQ(grid()->Cols(), 40);  // widths kept for columns the table does not fill
    view.SelectAll();
    EXPECT_EQ(grid()->Row(), 0);
    EXPECT_EQ(grid()->Col(), 1);
    EXPECT_EQ(grid()->RowSel(), 2);
    EXPECT_EQ(grid()->ColSel(), 2);
    EXPECT_TRUE(grid()->selectionModel()->isSelected(grid()->model()->index(1, 1)));

    view.CopySelected();
    EXPECT_EQ(clipboardText(), u8("date\ttime\r\n2003-05-01\t11:30:00\r\n2003-05-01\t10:00:00"));
}

TEST_F(SelectionTest, SelectAllOnATableWithNoRowsCopiesTheFieldNames) {
    view.AddTab(u8("empty.log"), makeTable({"date", "time", "c-ip"}, {}));
    view.SelectAll();
    view.CopySelected();
    EXPECT_EQ(clipboardText(), u8("date\ttime\tc-ip"));
}

TEST_F(SelectionTest, CopyFollowsTheGridsRowsNotTheTablesOrder) {
    // Hidden rows stay out, and the grid's own sort decides the order.
    auto table = makeTable({"date", "time", "k"}, {{"2003-05-01", "01:00:00", "x"},
                                                   {"2003-05-02", "01:00:00", "hidden"},
                                                   {"2003-05-03", "01:00:00", "x"}});
    table->setFilter("k='x'");
    view.AddTab(u8("filtered.log"), table);
    view.SelectAll();
    view.CopySelected();
    EXPECT_EQ(clipboardText(), u8("date\ttime\tk\r\n2003-05-03\t01:00:00\tx\r\n"
                                  "2003-05-01\t01:00:00\tx"));
    EXPECT_EQ(table->viewRow(0), 0u);  // the table's own order is untouched
}

TEST_F(SelectionTest, ATableClosedBehindTheGridsBackCopiesEmptyCells) {
    auto table = accessLog();
    view.AddTab(u8("ex030501.log"), table);
    table->close();
    grid()->setRow(1);
    grid()->setCol(1);
    grid()->setRowSel(2);
    grid()->setColSel(2);
    view.CopySelected();
    EXPECT_EQ(clipboardText(), u8("\t\r\n\t"));
}

TEST_F(SelectionTest, TheRowHeaderColumnAndColumnsBeyondTheTableCopyAsEmptyCells) {
    view.AddTab(u8("ex030501.log"), accessLog());
    grid()->setRow(1);
    grid()->setCol(0);
    grid()->setColSel(6);
    view.CopySelected();
    EXPECT_EQ(clipboardText(), u8("\t2003-05-03\t08:00:00\tUnknown [192.0.2.3]\t/c.html\t\t"));
}

TEST_F(SelectionTest, PositionsBeyondSixteenBitsAreCopied) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 40000; ++i) {
        char time[16];
        std::snprintf(time, sizeof time, "%02d:%02d:%02d", i / 3600, i / 60 % 60, i % 60);
        rows.push_back({"2003-05-01", time});
    }
    view.AddTab(u8("big.log"), makeTable({"date", "time"}, rows));
    view.SelectAll();
    EXPECT_EQ(grid()->RowSel(), 40000);
    view.CopySelected();
    const QStringList lines = clipboardText().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 40001);
    EXPECT_EQ(lines.front(), u8("date\ttime"));
    EXPECT_EQ(lines[1], u8("2003-05-01\t11:06:39"));
    EXPECT_EQ(lines.back(), u8("2003-05-01\t00:00:00"));
}

TEST_F(SelectionTest, JapaneseTextReachesTheClipboardIntact) {
    view.AddTab(u8("日本語.log"), makeTable({"日付", "時刻", "備考"},
                                            {{"2003-05-01", "09:15:02", "検索語「ログ解析」"},
                                             {"2003-05-02", "23:59:59", "ｶﾀｶﾅと𠮷野家"}}));
    view.SelectAll();
    view.CopySelected();
    EXPECT_EQ(clipboardText(), u8("日付\t時刻\t備考\r\n"
                                  "2003-05-02\t23:59:59\tｶﾀｶﾅと𠮷野家\r\n"
                                  "2003-05-01\t09:15:02\t検索語「ログ解析」"));
}

TEST_F(SelectionTest, WithNoTableShownCopyingLeavesTheClipboardAlone) {
    view.SelectAll();
    view.CopySelected();
    EXPECT_EQ(clipboardText(), u8("before"));
    QTest::keyClick(grid(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(grid(), Qt::Key_C, Qt::ControlModifier);
    view.mitmCopy()->trigger();
    EXPECT_EQ(clipboardText(), u8("before"));

    // The same once the last tab is gone again.
    view.AddTab(u8("ex030501.log"), accessLog());
    view.SelectAll();
    view.RemoveTab();
    view.CopySelected();
    EXPECT_EQ(clipboardText(), u8("before"));
}

TEST_F(SelectionTest, CtrlAAndCtrlCOnTheGridSelectAllAndCopy) {
    view.AddTab(u8("ex030501.log"), makeTable({"date", "time"}, {{"2003-05-01", "10:00:00"}}));
    showView();
    grid()->setFocus();
    QTest::keyClick(grid(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(grid()->Row(), 0);
    EXPECT_EQ(grid()->RowSel(), 1);
    EXPECT_EQ(grid()->ColSel(), 2);
    // The view's own Ctrl+C would put the current cell alone over ours.
    QTest::keyClick(grid(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboardText(), u8("date\ttime\r\n2003-05-01\t10:00:00"));

    // The control characters themselves, as a platform may report them.
    grid()->setRow(1);
    grid()->setCol(2);
    QTest::keyClick(grid(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboardText(), u8("10:00:00"));
    QTest::sendKeyEvent(QTest::Click, grid(), Qt::Key_A, QString(QChar(1)), Qt::ControlModifier);
    EXPECT_EQ(grid()->Row(), 0);
    QTest::sendKeyEvent(QTest::Click, grid(), Qt::Key_C, QString(QChar(3)), Qt::ControlModifier);
    EXPECT_EQ(clipboardText(), u8("date\ttime\r\n2003-05-01\t10:00:00"));
}

TEST_F(SelectionTest, OtherKeysAreLeftToTheGrid) {
    view.AddTab(u8("ex030501.log"), accessLog());
    showView();
    grid()->setFocus();
    grid()->setRow(1);
    grid()->setCol(1);
    QTest::keyClick(grid(), Qt::Key_C);  // plain letters copy nothing
    QTest::keyClick(grid(), Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(clipboardText(), u8("before"));
    EXPECT_EQ(grid()->Row(), 1);
    QTest::keyClick(grid(), Qt::Key_Down);
    EXPECT_EQ(grid()->Row(), 2);
    QTest::keyClick(grid(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(grid()->ColSel(), 2);
}

TEST_F(SelectionTest, TheCopyMenuSelectsAllAndCopies) {
    QMenu* menu = view.mnuCopy();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), u8("コピー(&C)"));
    EXPECT_EQ(menu->objectName(), u8("mnuCopy"));
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0], view.mitmSelectAll());
    EXPECT_EQ(menu->actions()[1], view.mitmCopy());
    EXPECT_EQ(view.mitmSelectAll()->text(), u8("全て選択(&A)"));
    EXPECT_EQ(view.mitmCopy()->text(), u8("コピー(&C)"));

    view.AddTab(u8("ex030501.log"), makeTable({"date", "time"}, {{"2003-05-01", "10:00:00"}}));
    view.mitmCopy()->trigger();
    EXPECT_EQ(clipboardText(), u8("2003-05-01"));
    view.mitmSelectAll()->trigger();
    view.mitmCopy()->trigger();
    EXPECT_EQ(clipboardText(), u8("date\ttime\r\n2003-05-01\t10:00:00"));
}

TEST_F(SelectionTest, ARightClickInTheSelectionOffersTheCopyMenuAndKeepsTheSelection) {
    view.AddTab(u8("ex030501.log"), accessLog());
    showView();
    grid()->setRow(1);
    grid()->setCol(3);
    grid()->setRowSel(2);
    grid()->setColSel(4);
    QTest::mouseClick(grid()->viewport(), Qt::RightButton, {}, cellCentre(2, 4));
    EXPECT_TRUE(view.mnuCopy()->isVisible());
    view.mnuCopy()->hide();
    view.mitmCopy()->trigger();
    EXPECT_EQ(clipboardText(), u8("Unknown [192.0.2.3]\t/c.html\r\n"
                                  "b.example.jp [192.0.2.2]\t/b.html"));
}

// The tool tip shows the clicked cell's text as it is, markup a visitor put
// into a log included: rendered, "<img src=/dev/zero>" would freeze the window.
TEST_F(SelectionTest, ALeftClickShowsTheClickedCellsTextAsAPlainToolTip) {
    const QString texts[] = {u8("a.example.jp [192.0.2.1]"),
                             u8("<h1><font color=red>SPOOFED</font></h1> & <b>x</b>"),
                             u8("<img src=/dev/zero>"), u8("a < b && c > d")};
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        view.AddTab(u8("ex030501.log"), makeTable({"c-ip"}, {{text.toStdString()}, {"192.0.2.2"}}));
        showView();
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cellCentre(1, 1));
        EXPECT_EQ(grid()->Text(), text);
        const QPoint at = grid()->viewport()->mapToGlobal(cellCentre(1, 1));
        QHelpEvent help(QEvent::ToolTip, cellCentre(1, 1), at);
        QCoreApplication::sendEvent(grid()->viewport(), &help);
        QTextDocument shown;
        shown.setHtml(QToolTip::text());
        EXPECT_EQ(shown.toPlainText(), text);
        EXPECT_FALSE(view.mnuCopy()->isVisible());
        QToolTip::hideText();
    }
}

TEST_F(SelectionTest, ADoubleClickOnADataCellRaisesItemClickWithItsFieldAndText) {
    view.AddTab(u8("ex030501.log"), accessLog());
    showView();
    QSignalSpy spy(&view, &DataGridTab::ItemClick);
    QWidget* vp = grid()->viewport();
    const QPoint at = cellCentre(2, 3);
    QTest::mouseClick(vp, Qt::LeftButton, {}, at);
    QTest::mouseDClick(vp, Qt::LeftButton, {}, at);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].toString(), u8("c-ip"));
    EXPECT_EQ(spy[0][1].toString(), u8("b.example.jp [192.0.2.2]"));
}

TEST_F(SelectionTest, ADoubleClickOnTheHeaderRowOrTheRowHeadersRaisesNothing) {
    view.AddTab(u8("ex030501.log"), accessLog());
    showView();
    QSignalSpy spy(&view, &DataGridTab::ItemClick);

    QHeaderView* header = grid()->horizontalHeader();
    const QPoint onField(header->sectionViewportPosition(2) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, onField);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, onField);

    QHeaderView* rowHeaders = grid()->verticalHeader();
    const QPoint onRow(rowHeaders->width() / 2, rowHeaders->sectionViewportPosition(1) + 3);
    QTest::mouseClick(rowHeaders->viewport(), Qt::LeftButton, {}, onRow);
    QTest::mouseDClick(rowHeaders->viewport(), Qt::LeftButton, {}, onRow);

    // Below the last row there is no cell at all.
    const QPoint below(cellCentre(3, 1).x(), grid()->viewport()->height() - 3);
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, below);
    QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(spy.count(), 0);
}

}  // namespace
}  // namespace brevadin
