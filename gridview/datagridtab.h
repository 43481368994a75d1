#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "logdata/recordset.h"

class QAction;
class QCheckBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QModelIndex;
class QMouseEvent;
class QTabBar;

namespace brevadin {

class GridView;

// The main window's view of the loaded logs: a tab strip with one tab per
// record table and one grid, shared by all tabs, that shows the table of the
// selected tab sorted newest first (descending on its first two fields).
// Above the grid a filter box narrows the tab's rows, a click on a column
// header sorts them, and a find bar under the grid (Ctrl+F) looks for text.
// Each tab keeps its own rows, order, filter and sort across tab switches.
//
// Each tab owns its table; the grid only borrows the one it shows. Tabs are
// numbered from 1. The strip always has at least one tab: with no table
// loaded it has exactly one, with an empty caption, and the grid is hidden.
// The grid is visible exactly when the selected tab holds a table.
class DataGridTab : public QWidget {
    Q_OBJECT

public:
    explicit DataGridTab(QWidget* parent = nullptr);
    ~DataGridTab() override;

    // The number of tabs in use; 0 when no table is loaded.
    int TabCount() const { return tabCount_; }

    // The tab last selected through setTabIndex or AddTab (0 before any).
    // Selecting a tab by clicking it does not change it. Numbers outside
    // 1..TabCount are ignored.
    int TabIndex() const { return tabIndex_; }
    void setTabIndex(int index);

    // The table the grid shows now, or none.
    RecordsetPtr Recordset() const;

    // The grid itself (its column widths are read and written by the settings).
    GridView* DBGrig() const { return hfgLogView_; }

    // Adds a tab captioned `name` that holds `recordset` (shared, not copied)
    // and selects it.
    void AddTab(const QString& name, RecordsetPtr recordset);

    // Removes a tab (0-based strip position; the selected one when negative)
    // and releases its table; removing the selected tab lets the strip pick
    // the tab to show next. On an empty view nothing changes.
    void RemoveTab(int tab = -1);
    // Selects the next or the previous tab, round from the last to the first.
    void StepTab(int step);

    // Selects the header row and every data row across all bound fields (the
    // row-header column stays out).
    void SelectAll();

    // Puts the displayed texts of the selected cells on the clipboard as
    // plain text: TAB between cells, CR LF between rows, nothing quoted.
    // With no table shown the clipboard keeps what it has. The current cell
    // and the selection stay where they are.
    void CopySelected();

    // Applies a filter in the record table's filter language to the selected
    // tab (with the content-type filter the table already has). The empty
    // text shows every row. A bad text shows its error beside the box and
    // leaves the tab as it was: false.
    bool ApplyFilter(const QString& text);
    // The filter the selected tab applies.
    QString FilterText() const;
    // Sorts the selected tab's shown rows by a field (0-based), stably, with
    // typed keys; the same field again reverses the direction.
    void SortByColumn(int field);
    // Finds the next (or previous) cell holding the find box's text, from the
    // current cell, and makes it current. False when none was found.
    bool FindNext(bool forward = true);
    void ShowFindBar();
    void HideFindBar();
    // Adds "field = 'value'" (or <>) for the cell at a data row and field
    // (0-based) to the selected tab's filter and applies it.
    void FilterByCell(size_t row, size_t field, bool exclude);
    // Adds a clause of the filter language to the selected tab's filter (in
    // its box too) and applies it.
    void AddFilterClause(const std::string& clause);
    // The selected tab as a token that stays its own while tabs come and go
    // (null without a table), and the way back to it while it still holds
    // `table` (a new tab may reuse a closed one's token): false once it is gone.
    const void* SelectedTab() const;
    bool SelectTab(const void* tab, const brevadin::Recordset* table);

    // The selected tab's shown rows and all of its rows.
    size_t ShownRows() const;
    size_t TotalRows() const;
    // The storage rows the grid shows, in its order.
    const std::vector<uint32_t>& ShownRowList() const;

    QTabBar* tabLogViews() const { return tabLogViews_; }
    QMenu* mnuTab() const { return mnuTab_; }
    QAction* mitmDelete() const { return mitmDelete_; }
    QMenu* mnuCopy() const { return mnuCopy_; }
    QAction* mitmSelectAll() const { return mitmSelectAll_; }
    QAction* mitmCopy() const { return mitmCopy_; }
    QAction* mitmFilterValue() const { return mitmFilterValue_; }
    QAction* mitmExcludeValue() const { return mitmExcludeValue_; }
    QAction* mitmFind() const { return mitmFind_; }
    QAction* mitmFilter() const { return mitmFilter_; }
    QAction* mitmCloseTab() const { return mitmCloseTab_; }
    QLineEdit* txtFilter() const { return txtFilter_; }
    QLabel* lblFilterError() const { return lblFilterError_; }
    QWidget* findBar() const { return findBar_; }
    QLineEdit* txtFind() const { return txtFind_; }
    QCheckBox* chkMatchCase() const { return chkMatchCase_; }
    QLabel* lblFindStatus() const { return lblFindStatus_; }

Q_SIGNALS:
    // A double-click on a data cell: the name of its field, exactly as the
    // table spells it, and the cell's text as displayed.
    void ItemClick(QString FieldName, QString Value);
    // The shown or total row count of the selected tab may have changed.
    void RowsChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TabView;
    TabView* selectedView() const;
    void showRows(TabView& view);
    void showSortIndicator(const TabView* view);
    void setTabCount(int count);
    void onTabSelected();
    void bindSelectedTab();
    void layoutChildren();
    void onGridDoubleClicked(const QModelIndex& index);
    bool gridKeyPress(QKeyEvent* event);
    bool barKeyPress(QObject* box, QKeyEvent* event);
    void gridMousePress(QMouseEvent* event);

    QTabBar* tabLogViews_;
    GridView* hfgLogView_;
    QMenu* mnuTab_;
    QAction* mitmDelete_;
    QMenu* mnuCopy_;
    QAction* mitmSelectAll_;
    QAction* mitmCopy_;
    QAction* mitmFilterValue_;
    QAction* mitmExcludeValue_;
    QAction* mitmFind_;
    QAction* mitmFilter_;
    QAction* mitmCloseTab_;
    QWidget* filterBar_;
    QLineEdit* txtFilter_;
    QLabel* lblFilterError_;
    QWidget* findBar_;
    QLineEdit* txtFind_;
    QCheckBox* chkMatchCase_;
    QLabel* lblFindStatus_;
    // What each physical tab holds, in strip order (no table for the empty tab).
    std::vector<std::unique_ptr<TabView>> views_;
    // The tab whose rows the grid holds now.
    TabView* bound_ = nullptr;
    // The data cell under the pointer when the grid's menu opened, if any.
    int64_t menuRow_ = -1;
    int64_t menuCol_ = -1;
    // The tab right-clicked for the strip's menu (-1: the selected one).
    int menuTab_ = -1;
    int tabCount_ = 0;
    int tabIndex_ = 0;
    bool changingTabs_ = false;  // the strip's own selection signals are ours
};

}  // namespace brevadin
