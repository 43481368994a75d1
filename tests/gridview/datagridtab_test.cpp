#include "gridview/datagridtab.h"

#include <QAction>
#include <QMenu>
#include <QStyle>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "gridview/qtgridview.h"
#include "tests/support/tables.h"

namespace brevadin {
namespace {

using testing::makeTable;

RecordsetPtr logTable(const std::string& tag) {
    return makeTable({"date", "time", "tag"}, {{"2003-05-01", "00:00:01", tag}});
}

// The invariants that hold between any two calls: the strip never goes
// without a tab, and the grid shows exactly when the selected tab has a table.
void expectConsistent(const DataGridTab& view) {
    const QTabBar* bar = view.tabLogViews();
    EXPECT_EQ(bar->count(), std::max(view.TabCount(), 1));
    EXPECT_TRUE(view.TabCount() > 0 || bar->tabText(0).isEmpty());
    EXPECT_EQ(!view.DBGrig()->isHidden(), view.Recordset() != nullptr);
    EXPECT_EQ(view.Recordset(), view.DBGrig()->DataSource());
}

// Random additions (some without a table), removals and selections against
// a plain list of what each tab should hold and which tab number was chosen.
TEST(DataGridTab, FollowsAPlainModelOverRandomSequences) {
    std::mt19937 rng(12345);
    for (int run = 0; run < 20; ++run) {
        DataGridTab view;
        std::vector<std::pair<QString, std::weak_ptr<Recordset>>> tabs;
        int serial = 0, tabIndex = 0;
        for (int step = 0; step < 40; ++step) {
            const unsigned op = rng() % 11;
            QTabBar* bar = view.tabLogViews();
            if (op < 4) {
                auto t = op == 0 ? nullptr : logTable(std::to_string(serial));
                const QString name = QStringLiteral("ログ%1").arg(serial++);
                tabs.push_back({name, t});
                view.AddTab(name, std::move(t));
                tabIndex = static_cast<int>(tabs.size());
                EXPECT_EQ(bar->currentIndex(), tabIndex - 1);
            } else if (op < 7) {
                std::weak_ptr<Recordset> gone;
                if (!tabs.empty()) {
                    gone = tabs[static_cast<size_t>(bar->currentIndex())].second;
                    tabs.erase(tabs.begin() + bar->currentIndex());
                }
                view.RemoveTab();  // the stored number stays as it was
                ASSERT_TRUE(gone.expired());
            } else if (op < 10) {
                const int wanted = static_cast<int>(rng() % (tabs.size() + 3)) - 1;
                const int before = bar->currentIndex();
                view.setTabIndex(wanted);
                const bool valid = wanted >= 1 && wanted <= static_cast<int>(tabs.size());
                if (valid) tabIndex = wanted;
                EXPECT_EQ(bar->currentIndex(), valid ? wanted - 1 : before) << wanted;
            } else if (!tabs.empty()) {  // a click on the strip leaves TabIndex
                bar->setCurrentIndex(static_cast<int>(rng() % tabs.size()));
            }

            ASSERT_EQ(view.TabCount(), static_cast<int>(tabs.size()));
            ASSERT_EQ(view.TabIndex(), tabIndex);
            expectConsistent(view);
            for (int i = 0; i < view.TabCount(); ++i) {
                ASSERT_EQ(bar->tabText(i), tabs[static_cast<size_t>(i)].first);
                ASSERT_TRUE(i != bar->currentIndex() ||
                            view.Recordset() == tabs[static_cast<size_t>(i)].second.lock());
            }
        }
    }
}

// The strip's menu and close buttons act on the tab they belong to, selected
// or not; the keys step round the tabs and close the shown one.
TEST(DataGridTab, MenuCloseButtonsAndKeysActOnTheirOwnTab) {
    auto view = std::make_unique<DataGridTab>();
    std::vector<std::weak_ptr<Recordset>> held;
    for (const char* name : {"a", "b", "c", "d"}) {
        auto t = logTable(name);
        held.push_back(t);
        view->AddTab(QString::fromUtf8(name), std::move(t));
    }
    view->show();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    QTabBar* bar = view->tabLogViews();
    QMenu* menu = view->mnuTab();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(0).center());
    EXPECT_FALSE(menu->isVisible());
    QTest::mousePress(bar, Qt::RightButton, Qt::NoModifier, bar->tabRect(1).center());
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(bar->currentIndex(), 0);  // a right press selects nothing
    menu->hide();
    QTest::mouseRelease(bar, Qt::RightButton, Qt::NoModifier, bar->tabRect(1).center());
    view->mitmDelete()->trigger();
    EXPECT_TRUE(held[1].expired());
    EXPECT_EQ(view->Recordset(), held[0].lock());  // the shown tab stays

    // Left: a, c, d. The keys go round from the last tab to the first.
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, back = ctrl | Qt::ShiftModifier;
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, int> steps[] = {{Qt::Key_PageDown, ctrl, 1},
                                                                     {Qt::Key_Tab, ctrl, 2},
                                                                     {Qt::Key_Tab, ctrl, 0},
                                                                     {Qt::Key_PageUp, ctrl, 2},
                                                                     {Qt::Key_Tab, back, 1}};
    for (const auto& [key, mods, shown] : steps) {
        QTest::keyClick(view->DBGrig(), key, mods);
        EXPECT_EQ(bar->currentIndex(), shown) << key;
    }
    QTest::keyClick(view->DBGrig(), Qt::Key_W, ctrl);
    EXPECT_TRUE(held[2].expired());
    const auto side = static_cast<QTabBar::ButtonPosition>(
        bar->style()->styleHint(QStyle::SH_TabBar_CloseButtonPosition, nullptr, bar));
    QTest::mouseClick(bar->tabButton(1, side), Qt::LeftButton);
    EXPECT_TRUE(held[3].expired());
    QTest::mouseClick(bar->tabButton(0, side), Qt::LeftButton);
    EXPECT_EQ(view->TabCount(), 0);
    EXPECT_FALSE(bar->tabButton(0, side));  // the empty strip has nothing to close
    expectConsistent(*view);
    EXPECT_TRUE(held[0].expired());
}

}  // namespace
}  // namespace brevadin
