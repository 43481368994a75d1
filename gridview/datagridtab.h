#pragma once

#include <QString>
#include <QWidget>

#include <vector>

#include "logdata/recordset.h"

class QAction;
class QKeyEvent;
class QMenu;
class QModelIndex;
class QMouseEvent;
class QTabBar;

namespace brevadin {

class GridView;

// The main window's view of the loaded logs: a tab strip with one tab per
// record table and one grid, shared by all tabs, that shows the table of the
// selected tab sorted newest first (descending on its first two fields).
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

    // Removes the selected tab and releases its table; the tab strip picks
    // the tab to show next. On an empty view nothing changes.
    void RemoveTab();

    // Selects the header row and every data row across all bound fields (the
    // row-header column stays out).
    void SelectAll();

    // Puts the displayed texts of the selected cells on the clipboard as
    // plain text: TAB between cells, CR LF between rows, nothing quoted.
    // With no table shown the clipboard keeps what it has. The current cell
    // and the selection stay where they are.
    void CopySelected();

    QTabBar* tabLogViews() const { return tabLogViews_; }
    QMenu* mnuTab() const { return mnuTab_; }
    QAction* mitmDelete() const { return mitmDelete_; }
    QMenu* mnuCopy() const { return mnuCopy_; }
    QAction* mitmSelectAll() const { return mitmSelectAll_; }
    QAction* mitmCopy() const { return mitmCopy_; }

Q_SIGNALS:
    // A double-click on a data cell: the name of its field, exactly as the
    // table spells it, and the cell's text as displayed.
    void ItemClick(QString FieldName, QString Value);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setTabCount(int count);
    void onTabSelected();
    void bindSelectedTab();
    void layoutChildren();
    void onGridDoubleClicked(const QModelIndex& index);
    bool gridKeyPress(QKeyEvent* event);
    void gridMousePress(QMouseEvent* event);

    QTabBar* tabLogViews_;
    GridView* hfgLogView_;
    QMenu* mnuTab_;
    QAction* mitmDelete_;
    QMenu* mnuCopy_;
    QAction* mitmSelectAll_;
    QAction* mitmCopy_;
    // The table of each physical tab, in strip order (null for the empty tab).
    std::vector<RecordsetPtr> tables_;
    int tabCount_ = 0;
    int tabIndex_ = 0;
    bool changingTabs_ = false;  // the strip's own selection signals are ours
};

}  // namespace brevadin
