#include "gridview/qtgridmodel.h"

#include "logdata/rowquery.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace brevadin {

bool isNumberText(std::string_view text) {
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
    bool digit = false, point = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

void GridModel::forgetAlignments(const RecordsetPtr& next) {
    if (next && alignedTable_.lock() == next) return;
    numberColumns_.assign(next ? next->fieldCount() : 0, 0);
    alignedTable_ = next;
}

bool GridModel::isNumberColumn(size_t column) const {
    if (!table_ || column >= numberColumns_.size()) return false;
    uint8_t& known = numberColumns_[column];
    if (known == 0) {
        // The whole table, not the rows shown: a filter must not move a column's text.
        bool any = false, all = true;
        for (size_t r = 0, n = table_->storedRowCount(); r < n && all; ++r) {
            const std::string_view v = table_->value(r, column);
            if (v.empty() || v == "-") continue;
            any = true;
            all = isNumberText(v);
        }
        known = any && all ? 1 : 2;
    }
    return known == 1;
}

void GridModel::setTable(RecordsetPtr table) {
    beginResetModel();
    forgetAlignments(table);
    table_ = std::move(table);
    rows_.clear();
    if (table_) {
        // rowCount/viewRow cost nothing on an unfiltered, unsorted table, and
        // reading them here spares the table building a view of its own.
        const size_t n = table_->rowCount();
        rows_.resize(n);
        for (size_t i = 0; i < n; ++i) rows_[i] = static_cast<uint32_t>(table_->viewRow(i));
    } else {
        rows_.shrink_to_fit();
    }
    endResetModel();
}

void GridModel::setRows(RecordsetPtr table, std::vector<uint32_t> rows) {
    beginResetModel();
    forgetAlignments(table);
    table_ = std::move(table);
    rows_ = table_ ? std::move(rows) : std::vector<uint32_t>();
    endResetModel();
}

std::vector<uint32_t> GridModel::takeRows() {
    beginResetModel();
    std::vector<uint32_t> rows = std::move(rows_);
    rows_ = {};
    table_.reset();
    endResetModel();
    return rows;
}

void GridModel::sortRowsTyped(const std::vector<SortKey>& keys) {
    if (!table_ || keys.empty() || rows_.size() < 2) return;
    brevadin::sortRowsTyped(*table_, rows_, keys);
    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::DisplayRole});
}

void GridModel::sortRows(const std::vector<SortKey>& keys) {
    if (!table_ || keys.empty() || rows_.size() < 2) return;
    brevadin::sortRows(*table_, rows_, keys);
    // Same row count, same columns: the view only has to repaint.
    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::DisplayRole});
}

QString GridModel::cellText(size_t row, size_t column) const {
    if (!table_ || row >= rows_.size() || column >= table_->fieldCount()) return QString();
    const size_t storage = rows_[row];
    // A table closed behind the grid's back has dropped its rows.
    if (storage >= table_->storedRowCount()) return QString();
    std::string_view v = table_->value(storage, column);
    return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size()));
}

QString GridModel::fieldName(size_t column) const {
    if (!table_ || column >= table_->fieldCount()) return QString();
    return QString::fromStdString(table_->fields()[column].name);
}

int GridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(std::min<size_t>(rows_.size(), INT_MAX));
}

int GridModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(std::min<size_t>(fields(), INT_MAX));
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (role == Qt::TextAlignmentRole && index.isValid())
        return static_cast<int>(
            Qt::AlignVCenter |
            (isNumberColumn(static_cast<size_t>(index.column())) ? Qt::AlignRight : Qt::AlignLeft));
    if (role != Qt::DisplayRole || !index.isValid()) return QVariant();
    return cellText(static_cast<size_t>(index.row()), static_cast<size_t>(index.column()));
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || section < 0) return QVariant();
    // The row-header column stays blank.
    if (orientation == Qt::Vertical) return QVariant();
    return fieldName(static_cast<size_t>(section));
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace brevadin
