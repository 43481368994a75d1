// The ways a tab narrows and orders its rows: the filter box, header
// clicks, the find bar and the filters taken from a cell.
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <optional>

#include "gridview/datagridtab.h"
#include "gridview/datagridtabview.h"
#include "gridview/qtgridmodel.h"
#include "gridview/qtgridview.h"

namespace brevadin {

QString DataGridTab::FilterText() const {
    return bound_ ? QString::fromStdString(bound_->filterText) : QString();
}

bool DataGridTab::ApplyFilter(const QString& text) {
    TabView* view = bound_;
    if (!view) return false;
    const std::string expression = text.trimmed().toStdString();
    ParsedQuery parsed = parseRowQuery(expression, *view->table);
    if (parsed.error) {
        lblFilterError_->setText(QString::fromStdString(filterErrorText(*parsed.error)));
        return false;
    }
    lblFilterError_->clear();
    lblFindStatus_->clear();  // it spoke of rows that may be gone
    view->filterText = expression;
    view->query = std::move(parsed.query);
    const auto pendingCount =
        static_cast<ptrdiff_t>(std::min(view->pendingKeys, view->keys.size()));
    const std::vector<SortKey> pending(view->keys.begin(), view->keys.begin() + pendingCount);
    if (!pending.empty() && !view->query) {
        sortRowsTyped(*view->table, view->all, pending);
        view->pendingKeys = 0;
    }
    std::vector<uint32_t> rows = filterRows(*view->table, view->all, view->query.get());
    // Sorting what the filter kept costs less than sorting every row.
    if (view->pendingKeys > 0) sortRowsTyped(*view->table, rows, pending);
    hfgLogView_->setDataSource(view->table, std::move(rows));
    Q_EMIT RowsChanged();
    return true;
}

void DataGridTab::SortByColumn(int field) {
    TabView* view = bound_;
    if (!view || field < 0 || static_cast<size_t>(field) >= view->table->fieldCount()) return;
    const auto column = static_cast<size_t>(field);
    const bool descending = !view->keys.empty() && view->keys.front().column == column &&
                            !view->keys.front().descending;
    const auto old = std::find_if(view->keys.begin(), view->keys.end(),
                                  [&](const SortKey& k) { return k.column == column; });
    const bool wasPending = old - view->keys.begin() < static_cast<ptrdiff_t>(view->pendingKeys);
    if (old != view->keys.end()) view->keys.erase(old);
    view->keys.insert(view->keys.begin(), SortKey{column, descending});
    // Only the new key: the rows are already in the order of the older ones.
    hfgLogView_->gridModel()->sortRowsTyped({view->keys.front()});
    // Unfiltered, the rows shown are all of them: copying beats sorting again.
    if (!view->query) {
        view->all = hfgLogView_->gridModel()->rowList();
        view->pendingKeys = 0;
    } else if (!wasPending) {
        ++view->pendingKeys;
    }
    showSortIndicator(view);
}

void DataGridTab::showSortIndicator(const TabView* view) {
    QHeaderView* header = hfgLogView_->horizontalHeader();
    const bool sorted = view && !view->keys.empty();
    header->setSortIndicatorShown(sorted);
    if (sorted)
        header->setSortIndicator(
            static_cast<int>(view->keys.front().column),
            view->keys.front().descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void DataGridTab::ShowFindBar() {
    findBar_->show();
    layoutChildren();
    txtFind_->setFocus(Qt::ShortcutFocusReason);
    txtFind_->selectAll();
}

void DataGridTab::HideFindBar() {
    findBar_->hide();
    lblFindStatus_->clear();
    layoutChildren();
    if (hfgLogView_->isVisible()) hfgLogView_->setFocus(Qt::OtherFocusReason);
}

bool DataGridTab::FindNext(bool forward) {
    const std::string needle = txtFind_->text().toStdString();
    if (!bound_ || needle.empty()) return false;
    GridView* grid = hfgLogView_;
    CellPosition from;
    from.viewRow = static_cast<size_t>(std::max<int64_t>(grid->Row() - 1, 0));
    from.column = static_cast<size_t>(std::max<int64_t>(grid->Col() - 1, 0));
    bool wrapped = false;
    const std::optional<CellPosition> found =
        findCell(*bound_->table, ShownRowList(), needle, chkMatchCase_->isChecked(), from, forward,
                 &wrapped);
    if (!found) {
        lblFindStatus_->setText(QStringLiteral("見つかりません"));
        return false;
    }
    lblFindStatus_->setText(!wrapped ? QString()
                            : forward ? QStringLiteral("末尾まで検索したので先頭から検索しました")
                                      : QStringLiteral("先頭まで検索したので末尾から検索しました"));
    grid->selectCells(
        static_cast<int64_t>(found->viewRow) + 1, static_cast<int64_t>(found->column) + 1,
        static_cast<int64_t>(found->viewRow) + 1, static_cast<int64_t>(found->column) + 1);
    grid->scrollTo(grid->currentIndex());
    return true;
}

void DataGridTab::FilterByCell(size_t row, size_t field, bool exclude) {
    if (!bound_ || row >= ShownRows() || field >= bound_->table->fieldCount()) return;
    const auto& table = *bound_->table;
    const std::string clause =
        valueClause(table.fields()[field].name,
                    table.value(hfgLogView_->gridModel()->storageRow(row), field), exclude);
    AddFilterClause(clause);
}

void DataGridTab::AddFilterClause(const std::string& clause) {
    if (!bound_) return;
    const QString text = QString::fromStdString(andClauses(bound_->filterText, clause));
    if (ApplyFilter(text)) txtFilter_->setText(text);
}

}  // namespace brevadin
