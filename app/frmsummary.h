#pragma once

#include <QWidget>
#include <array>
#include <atomic>
#include <memory>
#include <optional>

#include "logdata/summary.h"

class QChartView;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace brevadin {

class DataGridTab;

// "集計(&S)": what one tab's shown rows add up to. It follows that tab: a new
// filter there sums again, and a double-click on an entry of a top list
// narrows the tab to the entry's rows and brings the tab forward. The sums
// run on a worker thread so a million rows never freeze the window.
class frmSummary : public QWidget {
    Q_OBJECT

public:
    // Sums the tab selected in `grid` now; NCSA dates move into the zone
    // timeDiff hours ahead of UTC.
    frmSummary(DataGridTab* grid, int timeDiff, QWidget* parent = nullptr);
    ~frmSummary() override;

    // The request count shown and the top lists (for tests).
    QLabel* lblRequests() const { return values_[0]; }
    QTableWidget* list(SummaryList l) const { return lists_[static_cast<size_t>(l)]; }
    // Saves the chart as PNG to `path`; false when it could not be written.
    bool saveChart(const QString& path);

Q_SIGNALS:
    // New sums are on show.
    void updated();

private:
    void recompute();
    void onRowsChanged();
    void showSummary(Summary s);
    void drawChart(const Summary& s);
    void filterByEntry(SummaryList l, int row);
    // Puts the list on the clipboard as TSV, its header line first.
    void copyList(SummaryList l);

    DataGridTab* grid_;
    const void* tab_;
    RecordsetPtr table_;
    int timeDiff_;
    std::string filter_;  // the tab's filter the shown sums are of
    size_t rows_ = 0;
    std::optional<Summary> summary_;
    std::shared_ptr<std::atomic<bool>> cancel_;

    std::array<QLabel*, 4> values_{};
    QChartView* chartView_;
    QLabel* lblNoChart_;
    QPushButton* cmdSaveImage_;
    QTabWidget* tabLists_;
    std::array<QTableWidget*, kSummaryListCount> lists_{};
};

}  // namespace brevadin
