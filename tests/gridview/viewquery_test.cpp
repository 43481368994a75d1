// Sorting, filtering and finding in a tab, driven offscreen as a user would.
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

#include "app/frmmain.h"
#include "gridview/datagridtab.h"
#include "gridview/qtgridview.h"
#include "tests/support/tables.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::makeTable;

// Storage order; the tab opens newest first: 4 3 2 1 0. The statuses sort
// differently as numbers and as text, and two pairs tie on each key.
RecordsetPtr accessLog() {
    return makeTable({"date", "time", "c-ip", "sc-status"},
                     {{"2024-01-01", "00:00:01", "10.0.0.2", "200"},
                      {"2024-01-01", "00:00:02", "10.0.0.1", "404"},
                      {"2024-01-01", "00:00:03", "10.0.0.2", "-"},
                      {"2024-01-01", "00:00:04", "10.0.0.1", "1000"},
                      {"2024-01-01", "00:00:05", "10.0.0.3", "404"}});
}

class ViewQueryTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<frmMain>(
            MainWindowPaths{dir.file("ini"), dir.file("hosts.xml"), dir.file("whois.xml"), ""},
            QString::fromStdString(dir.file("none")));
        tab = window->DataGridTab1;
        grid = tab->DBGrig();
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void clickHeader(int field) {
        QHeaderView* header = grid->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(field) + 4, header->height() / 2));
    }

    testing::TempFolder dir;
    std::unique_ptr<frmMain> window;
    DataGridTab* tab = nullptr;
    GridView* grid = nullptr;
};

TEST_F(ViewQueryTest, HeaderClicksFilterBoxAndCellCommandsComposeAndSurviveTabSwitches) {
    tab->AddTab(QStringLiteral("a"), accessLog());
    QLineEdit* box = tab->txtFilter();
    const auto type = [&](const char* text) {
        box->setText(QString::fromUtf8(text));
        QTest::keyClick(box, Qt::Key_Return);
    };
    const auto excludeFirstRowsClient = [&] {
        const QRect cell = grid->visualRect(grid->model()->index(0, 2));
        QTest::mousePress(grid->viewport(), Qt::RightButton, Qt::NoModifier, cell.center());
        tab->mnuCopy()->hide();
        tab->mitmExcludeValue()->trigger();
    };
    const auto switchAway = [&] {
        tab->AddTab(QStringLiteral("b"), accessLog());
        clickHeader(1);
        tab->tabLogViews()->setCurrentIndex(0);
    };
    struct Step {
        const char* what;
        std::function<void()> act;
        std::vector<uint32_t> rows;
        int sortedField;  // -1: no indicator
        Qt::SortOrder direction;
        bool error;
    };
    const std::function<void()> status = [&] { clickHeader(3); }, client = [&] { clickHeader(2); },
                                filter = [&] { type("[sc-status] >= 404"); },
                                bad = [&] { type("sc-status >="); };
    const auto escape = [&] { QTest::keyClick(box, Qt::Key_Escape); };
    const auto up = Qt::AscendingOrder, down = Qt::DescendingOrder;
    const Step steps[] = {
        {"opened", [] {}, {4, 3, 2, 1, 0}, -1, {}, false},
        {"status: numbers, '-' first", status, {2, 0, 4, 1, 3}, 3, up, false},
        {"again: reversed, ties kept", status, {3, 4, 1, 0, 2}, 3, down, false},
        {"client", client, {3, 1, 0, 2, 4}, 2, up, false},
        {"filter", filter, {3, 1, 4}, 2, up, false},
        {"bad filter", bad, {3, 1, 4}, 2, up, true},
        {"exclude", excludeFirstRowsClient, {4}, 2, up, false},
        {"other tab and back", switchAway, {4}, 2, up, false},
        {"client again, filtered", client, {4}, 2, down, false},
        {"Esc: every row in the clicks' order", escape, {4, 0, 2, 3, 1}, 2, down, false},
    };
    QHeaderView* header = grid->horizontalHeader();
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(tab->ShownRowList(), s.rows) << s.what;
        EXPECT_EQ(header->isSortIndicatorShown(), s.sortedField >= 0) << s.what;
        EXPECT_TRUE(s.sortedField < 0 || (header->sortIndicatorSection() == s.sortedField &&
                                          header->sortIndicatorOrder() == s.direction))
            << s.what;
        EXPECT_EQ(tab->lblFilterError()->text().isEmpty(), !s.error) << s.what;
        EXPECT_EQ(window->statusRows->text(),
                  QStringLiteral("表示 %1 行 / 全 5 行").arg(s.rows.size()))
            << s.what;
    }
    EXPECT_EQ(tab->lblFilterError()->textFormat(), Qt::PlainText);
    type("sc-status = '404' or sc-status = '200'");
    type("");  // what the clear button leaves
    EXPECT_EQ(tab->ShownRowList().size(), 5u);
    tab->FilterByCell(3, 2, false);  // 10.0.0.1 with the box empty: the clause alone
    EXPECT_EQ(tab->ShownRowList(), (std::vector<uint32_t>{3, 1}));
    EXPECT_EQ(box->text(), tab->FilterText());

    // Copy and export take the rows as shown.
    tab->SelectAll();
    tab->CopySelected();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("date\ttime\tc-ip\tsc-status\r\n"
                             "2024-01-01\t00:00:04\t10.0.0.1\t1000\r\n"
                             "2024-01-01\t00:00:02\t10.0.0.1\t404"));
    const QString csv = QString::fromStdString(dir.file("out.csv"));
    window->exportActiveTab(&csv);
    EXPECT_EQ(testing::readFile(dir.file("out.csv")),
              "\xEF\xBB\xBF"
              "date,time,c-ip,sc-status\r\n"
              "2024-01-01,00:00:04,10.0.0.1,1000\r\n2024-01-01,00:00:02,10.0.0.1,404\r\n");
}

// View rows newest first: "/index.html", "/a", "/Index" in column 2.
TEST_F(ViewQueryTest, FindBarKeysWalkTheCellsInViewOrderAndWrap) {
    tab->AddTab(
        QStringLiteral("f"),
        makeTable({"date", "time", "path"},
                  {{"d1", "t1", "/Index"}, {"d2", "t2", "/a"}, {"d3", "t3", "/index.html"}}));
    QTest::keyClick(grid, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(tab->findBar()->isVisible());
    QLineEdit* box = tab->txtFind();
    EXPECT_TRUE(box->hasFocus());
    const QString wrappedDown = QStringLiteral("末尾まで検索したので先頭から検索しました");
    const QString wrappedUp = QStringLiteral("先頭まで検索したので末尾から検索しました");
    struct Step {
        const char* needle;
        bool matchCase;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        int64_t row, col;
        QString status;
    };
    const Step steps[] = {
        {"INDEX", false, Qt::Key_Return, {}, 1, 3, {}},
        {"INDEX", false, Qt::Key_F3, {}, 3, 3, {}},
        {"INDEX", false, Qt::Key_Enter, {}, 1, 3, wrappedDown},
        {"INDEX", false, Qt::Key_F3, Qt::ShiftModifier, 3, 3, wrappedUp},
        {"Index", true, Qt::Key_Return, {}, 3, 3, wrappedDown},  // itself, last
        {"t", false, Qt::Key_F3, Qt::ShiftModifier, 3, 2, {}},   // left of it, same row
        {"zzz", false, Qt::Key_Return, {}, 3, 2, QStringLiteral("見つかりません")},
    };
    for (const Step& s : steps) {
        box->setText(QString::fromUtf8(s.needle));
        tab->chkMatchCase()->setChecked(s.matchCase);
        QTest::keyClick(box, s.key, s.mods);
        EXPECT_TRUE(grid->Row() == s.row && grid->Col() == s.col)
            << s.needle << " at " << grid->Row() << ',' << grid->Col();
        EXPECT_EQ(tab->lblFindStatus()->text(), s.status) << s.needle;
    }
    QTest::keyClick(grid, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(tab->txtFilter()->hasFocus());
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_FALSE(tab->findBar()->isVisible());
}

}  // namespace
}  // namespace brevadin
