#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "logdata/recordset.h"

namespace brevadin {

// The rows of one record table as the grid shows them. Nothing is copied per
// cell: the model keeps the table and one storage row number per grid row,
// and converts a value to QString only when the view asks for it, which it
// does for the cells it paints. Field k of the table is model column k.
//
// The row order belongs to the model alone: sorting permutes the model's
// storage row numbers and leaves the table's own view untouched.
// A number as the logs write one: digits with an optional sign and one
// decimal point ("200", "-5", "0.25").
bool isNumberText(std::string_view text);

class GridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit GridModel(QObject* parent = nullptr);

    // Takes the table's visible rows in its current order (through its filter
    // and sort); nullptr leaves the model empty. Resets the model.
    void setTable(RecordsetPtr table);
    // Shows the given storage rows of the table, in that order. Resets the model.
    void setRows(RecordsetPtr table, std::vector<uint32_t> rows);
    // Hands the rows over (a tab keeps them while another tab is shown) and
    // leaves the model empty.
    std::vector<uint32_t> takeRows();
    const RecordsetPtr& table() const { return table_; }
    const std::vector<uint32_t>& rowList() const { return rows_; }

    // Reorders the rows by the given fields (text by character code, so
    // letter case counts); rows with equal keys keep their relative order.
    // Row positions stay where they are for the view: only their contents
    // change, so the current cell and the selection keep their places.
    void sortRows(const std::vector<SortKey>& keys);
    // The same, with the typed keys of a column header click.
    void sortRowsTyped(const std::vector<SortKey>& keys);

    // The table's storage row shown in model row `row`.
    size_t storageRow(size_t row) const { return rows_[row]; }
    size_t rows() const { return rows_.size(); }
    size_t fields() const { return table_ ? table_->fieldCount() : 0; }

    // The text of a cell, and a field's name; empty outside the table.
    QString cellText(size_t row, size_t column) const;
    QString fieldName(size_t column) const;
    // True when every value of the field over the model's rows is a number,
    // "-" and empty values aside, and at least one is. Worked out once per
    // field while the model shows the same table.
    bool isNumberColumn(size_t column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void forgetAlignments(const RecordsetPtr& next);

    RecordsetPtr table_;
    // Per field: 0 not yet known, 1 numbers, 2 text. Kept over a tab switch
    // back to the same table, since a scan reads every row of the field.
    mutable std::vector<uint8_t> numberColumns_;
    std::weak_ptr<const Recordset> alignedTable_;
    std::vector<uint32_t> rows_;
};

}  // namespace brevadin
