#include "gridview/datagridtab.h"

#include <QAction>
#include <QMenu>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gridview/qtgridmodel.h"
#include "gridview/qtgridview.h"
#include "logdata/recordset.h"

namespace brevadin {
namespace {

RecordsetPtr makeTable(const std::vector<std::string>& fields,
                       const std::vector<std::vector<std::string>>& rows) {
    auto t = std::make_shared<Recordset>();
    for (const auto& f : fields) t->appendField(f);
    t->open();
    for (const auto& r : rows) {
        const size_t row = t->appendRow();
        for (size_t c = 0; c < r.size(); ++c) t->setValue(row, c, r[c]);
    }
    return t;
}

RecordsetPtr logTable(const std::string& tag) {
    return makeTable({"date", "time", "tag"}, {{"2003-05-01", "00:00:01", tag}});
}

QString u8(const char* s) {
    return QString::fromUtf8(s);
}
QString u8(const std::string& s) {
    return QString::fromStdString(s);
}

bool gridShown(const DataGridTab& view) {
    return !view.DBGrig()->isHidden();
}

// The invariants that hold between any two calls.
void expectConsistent(const DataGridTab& view) {
    const QTabBar* bar = view.tabLogViews();
    const int count = view.TabCount();
    ASSERT_GE(count, 0);
    EXPECT_EQ(bar->count(), std::max(count, 1));
    if (count == 0) {
        EXPECT_EQ(bar->tabText(0), QString());
        EXPECT_FALSE(gridShown(view));
        EXPECT_EQ(view.Recordset(), nullptr);
    }
    EXPECT_EQ(gridShown(view), view.Recordset() != nullptr);
    EXPECT_EQ(view.Recordset(), view.DBGrig()->DataSource());
}

TEST(DataGridTab, AFreshViewHasOneEmptyTabAndAHiddenGridOfFortyColumns) {
    DataGridTab view;
    EXPECT_EQ(view.TabCount(), 0);
    EXPECT_EQ(view.TabIndex(), 0);
    ASSERT_EQ(view.tabLogViews()->count(), 1);
    EXPECT_EQ(view.tabLogViews()->tabText(0), QString());
    EXPECT_FALSE(gridShown(view));
    EXPECT_EQ(view.Recordset(), nullptr);
    GridView* grid = view.DBGrig();
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->Cols(), 40);
    for (int64_t c = 0; c < 40; ++c) EXPECT_EQ(grid->ColWidth(c), 1200) << c;

    auto* menu = view.findChild<QMenu*>(QStringLiteral("mnuTab"));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), u8("タブ(&T)"));
    auto* item = view.findChild<QAction*>(QStringLiteral("mitmDelete"));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), u8("このタブを削除(&D)"));
    EXPECT_TRUE(menu->actions().contains(item));
}

TEST(DataGridTab, TheFirstTableReusesTheEmptyTabAndLaterOnesAppend) {
    DataGridTab view;
    auto a = logTable("a");
    auto b = logTable("b");
    view.AddTab(u8("ex030501.log"), a);
    EXPECT_EQ(view.TabCount(), 1);
    EXPECT_EQ(view.TabIndex(), 1);
    ASSERT_EQ(view.tabLogViews()->count(), 1);
    EXPECT_EQ(view.tabLogViews()->tabText(0), u8("ex030501.log"));
    EXPECT_EQ(view.Recordset(), a);
    EXPECT_TRUE(gridShown(view));

    view.AddTab(u8("複数のログ"), b);
    EXPECT_EQ(view.TabCount(), 2);
    EXPECT_EQ(view.TabIndex(), 2);
    ASSERT_EQ(view.tabLogViews()->count(), 2);
    EXPECT_EQ(view.tabLogViews()->currentIndex(), 1);
    EXPECT_EQ(view.tabLogViews()->tabText(1), u8("複数のログ"));
    EXPECT_EQ(view.Recordset(), b);
    expectConsistent(view);
}

TEST(DataGridTab, TabIndexOutsideTheTabsIsIgnored) {
    DataGridTab view;
    auto a = logTable("a");
    auto b = logTable("b");
    view.AddTab(u8("a"), a);
    view.AddTab(u8("b"), b);
    for (int bad : {0, 3, -1, 1000}) {
        view.setTabIndex(bad);
        EXPECT_EQ(view.TabIndex(), 2) << bad;
        EXPECT_EQ(view.tabLogViews()->currentIndex(), 1) << bad;
        EXPECT_EQ(view.Recordset(), b) << bad;
    }
    view.setTabIndex(1);
    EXPECT_EQ(view.TabIndex(), 1);
    EXPECT_EQ(view.tabLogViews()->currentIndex(), 0);
    EXPECT_EQ(view.Recordset(), a);
}

TEST(DataGridTab, ClickingATabShowsItsTableButLeavesTabIndex) {
    DataGridTab view;
    auto a = logTable("a");
    auto b = logTable("b");
    view.AddTab(u8("first"), a);
    view.AddTab(u8("second"), b);
    view.resize(600, 400);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QTabBar* bar = view.tabLogViews();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(0).center());
    EXPECT_EQ(bar->currentIndex(), 0);
    EXPECT_EQ(view.Recordset(), a);
    EXPECT_EQ(view.TabIndex(), 2);
    EXPECT_TRUE(view.DBGrig()->isVisible());
    expectConsistent(view);
}

TEST(DataGridTab, RemovingEveryTabReleasesTheTablesAndEmptiesTheView) {
    DataGridTab view;
    std::vector<std::weak_ptr<Recordset>> held;
    for (const char* name : {"one", "two", "three"}) {
        auto t = logTable(name);
        held.push_back(t);
        view.AddTab(u8(name), std::move(t));
    }
    ASSERT_EQ(view.TabCount(), 3);
    for (int left = 2; left >= 0; --left) {
        view.RemoveTab();
        EXPECT_EQ(view.TabCount(), left);
        expectConsistent(view);
    }
    EXPECT_EQ(view.tabLogViews()->count(), 1);
    EXPECT_EQ(view.tabLogViews()->tabText(0), QString());
    EXPECT_FALSE(gridShown(view));
    EXPECT_EQ(view.Recordset(), nullptr);
    for (const auto& w : held) EXPECT_TRUE(w.expired());
    EXPECT_EQ(view.TabIndex(), 3);  // removals leave the stored number alone

    view.RemoveTab();  // nothing left to remove
    EXPECT_EQ(view.TabCount(), 0);
    EXPECT_EQ(view.tabLogViews()->count(), 1);
    expectConsistent(view);

    view.AddTab(u8("again"), logTable("again"));
    EXPECT_EQ(view.tabLogViews()->count(), 1);
    EXPECT_EQ(view.tabLogViews()->tabText(0), u8("again"));
    EXPECT_TRUE(gridShown(view));
}

TEST(DataGridTab, ATabWithoutATableHidesTheGrid) {
    DataGridTab view;
    view.AddTab(u8("nothing"), nullptr);
    EXPECT_EQ(view.TabCount(), 1);
    EXPECT_FALSE(gridShown(view));
    auto t = logTable("t");
    view.AddTab(u8("table"), t);
    EXPECT_TRUE(gridShown(view));
    view.setTabIndex(1);
    EXPECT_FALSE(gridShown(view));
    EXPECT_EQ(view.Recordset(), nullptr);
    expectConsistent(view);
}

// Random sequences of additions, removals and selections against a plain
// list of what each tab should hold.
TEST(DataGridTab, InvariantsHoldOverRandomSequences) {
    std::mt19937 rng(12345);
    for (int run = 0; run < 20; ++run) {
        DataGridTab view;
        struct Tab {
            QString name;
            std::weak_ptr<Recordset> table;
        };
        std::vector<Tab> tabs;
        std::vector<std::weak_ptr<Recordset>> removed;
        int serial = 0;
        for (int step = 0; step < 40; ++step) {
            const unsigned op = rng() % 10;
            if (op < 4) {
                auto t = logTable(std::to_string(serial));
                const QString name = u8("log" + std::to_string(serial++));
                tabs.push_back({name, t});
                view.AddTab(name, std::move(t));
            } else if (op < 7) {
                if (!tabs.empty()) {
                    const int current = view.tabLogViews()->currentIndex();
                    removed.push_back(tabs[static_cast<size_t>(current)].table);
                    tabs.erase(tabs.begin() + current);
                }
                view.RemoveTab();
            } else if (op < 9) {
                view.setTabIndex(static_cast<int>(rng() % (tabs.size() + 2)));
            } else if (!tabs.empty()) {
                view.tabLogViews()->setCurrentIndex(static_cast<int>(rng() % tabs.size()));
            }

            ASSERT_EQ(view.TabCount(), static_cast<int>(tabs.size()));
            expectConsistent(view);
            for (size_t i = 0; i < tabs.size(); ++i) {
                ASSERT_EQ(view.tabLogViews()->tabText(static_cast<int>(i)), tabs[i].name);
            }
            if (!tabs.empty()) {
                const auto& selected =
                    tabs[static_cast<size_t>(view.tabLogViews()->currentIndex())];
                ASSERT_EQ(view.Recordset(), selected.table.lock());
            }
            for (const auto& w : removed) ASSERT_TRUE(w.expired());
        }
    }
}

TEST(DataGridTab, DestroyingTheViewReleasesItsTables) {
    std::weak_ptr<Recordset> a, b;
    {
        DataGridTab view;
        auto ta = logTable("a"), tb = logTable("b");
        a = ta, b = tb;
        view.AddTab(u8("a"), std::move(ta));
        view.AddTab(u8("b"), std::move(tb));
        EXPECT_FALSE(a.expired());
    }
    EXPECT_TRUE(a.expired());
    EXPECT_TRUE(b.expired());
}

TEST(DataGridTab, ShowsNewestFirstWithoutReorderingTheTable) {
    auto t = makeTable({"date", "time", "cs-uri-stem"}, {{"2003-05-01", "09:00:00", "/a"},
                                                         {"2003-05-02", "08:00:00", "/b"},
                                                         {"2003-05-01", "23:59:59", "/c"},
                                                         {"2003-04-30", "23:59:59", "/d"},
                                                         {"2003-05-02", "08:00:00", "/e"},
                                                         {"2003-05-02", "10:30:00", "/f"}});
    DataGridTab view;
    view.AddTab(u8("ex030501.log"), t);
    const GridModel* model = view.DBGrig()->gridModel();
    std::vector<std::string> stems;
    for (size_t r = 0; r < model->rows(); ++r) stems.push_back(model->cellText(r, 2).toStdString());
    // Equal date and time keep the table's order (/b before /e).
    EXPECT_EQ(stems, (std::vector<std::string>{"/f", "/b", "/e", "/c", "/a", "/d"}));
    for (size_t i = 0; i < t->rowCount(); ++i) EXPECT_EQ(t->viewRow(i), i);
    EXPECT_EQ(view.DBGrig()->Col(), 1);
    EXPECT_EQ(view.DBGrig()->Row(), 1);
}

TEST(DataGridTab, TheGridKeepsItsPlaceInsideTheTabStripAtAnySize) {
    DataGridTab view;
    view.AddTab(u8("a"), logTable("a"));
    view.show();  // a hidden widget gets its resize events only when shown
    view.resize(400, 300);
    EXPECT_EQ(view.DBGrig()->geometry(), QRect(8, 32, 385, 260));
    EXPECT_EQ(view.tabLogViews()->geometry().topLeft(), QPoint(0, 0));
    EXPECT_EQ(view.tabLogViews()->width(), 400);
    view.resize(1000, 700);
    EXPECT_EQ(view.DBGrig()->geometry(), QRect(8, 32, 985, 660));
    // Too small for the margins: the grid shrinks to a pixel, never below.
    view.resize(12, 30);
    EXPECT_EQ(view.DBGrig()->geometry(), QRect(8, 32, 1, 1));
    EXPECT_GE(view.tabLogViews()->height(), 1);
    EXPECT_LE(view.tabLogViews()->height(), 30);
}

TEST(DataGridTab, TheTabMenuRemovesTheSelectedTabWhicheverTabWasClicked) {
    DataGridTab view;
    auto a = logTable("a");
    std::weak_ptr<Recordset> b;
    {
        auto tb = logTable("b");
        b = tb;
        view.AddTab(u8("a"), a);
        view.AddTab(u8("b"), std::move(tb));
    }
    view.resize(600, 400);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QTabBar* bar = view.tabLogViews();
    auto* menu = view.findChild<QMenu*>(QStringLiteral("mnuTab"));
    ASSERT_NE(menu, nullptr);

    QTest::mousePress(bar, Qt::RightButton, Qt::NoModifier, bar->tabRect(0).center());
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(bar->currentIndex(), 1);  // a right press selects nothing
    menu->hide();
    QTest::mouseRelease(bar, Qt::RightButton, Qt::NoModifier, bar->tabRect(0).center());

    view.findChild<QAction*>(QStringLiteral("mitmDelete"))->trigger();
    EXPECT_TRUE(b.expired());
    EXPECT_EQ(view.TabCount(), 1);
    EXPECT_EQ(bar->tabText(0), u8("a"));
    EXPECT_EQ(view.Recordset(), a);

    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(0).center());
    EXPECT_FALSE(menu->isVisible());
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(0).center());
}

}  // namespace
}  // namespace brevadin
