#pragma once

#include <QFont>
#include <QString>
#include <QTableView>

#include <cstdint>
#include <vector>

#include "common/qtcommon.h"
#include "config/columnwidths.h"
#include "logdata/recordset.h"

namespace brevadin {

class GridModel;

// The font the log views ask for, "ＭＳ Ｐゴシック" 9 pt. Where that family is
// not installed, Qt is told to take an installed Japanese one in its place
// (Noto Sans CJK JP, or one of the IPA and VL Gothic fonts), so kana and
// kanji never turn into boxes.
QFont logViewFont();

// The grid of the log views: a table view bound to one record table.
//
// It is addressed as a grid whose row 0 is the header row (the field names)
// and whose column 0 is the row-header column; field k of the table shows in
// grid column k + 1 and record i in grid row i + 1. `Row`/`Col` are the
// current cell, `RowSel`/`ColSel` the far corner of the selected rectangle.
//
// Column widths are kept in twips for every grid column the grid has had,
// whether or not the bound table fills it, so that settings saved from the
// grid describe all of its columns. Widths read back exactly as set; the
// pixel widths follow from the screen's logical resolution.
class GridView : public QTableView, public ColumnWidths {
    Q_OBJECT

public:
    static constexpr int64_t kInitialCols = 40;
    static constexpr int64_t kDefaultColWidth = 1200;  // twips

    explicit GridView(QWidget* parent = nullptr);
    ~GridView() override;

    // The bound table, or none (an empty grid). Binding shows the table's
    // visible rows in its current order and puts the current cell on grid
    // row 1, column 1.
    void setDataSource(RecordsetPtr table);
    // The same, showing the given storage rows of the table in that order.
    void setDataSource(RecordsetPtr table, std::vector<uint32_t> rows);
    const RecordsetPtr& DataSource() const;
    GridModel* gridModel() const { return model_; }

    // Counts with the header row and the row-header column included.
    int64_t Rows() const;
    int64_t Cols() const override { return static_cast<int64_t>(widths_.size()); }
    // Never fewer than the bound table needs, nor than the row-header column.
    void setCols(int64_t cols);
    int64_t FixedRows() const { return 1; }
    int64_t FixedCols() const { return 1; }

    // Setting the current cell also collapses the selection onto it.
    // Positions outside the grid are ignored.
    int64_t Row() const { return row_; }
    void setRow(int64_t row);
    int64_t Col() const { return col_; }
    void setCol(int64_t col);
    int64_t RowSel() const { return rowSel_; }
    void setRowSel(int64_t row);
    int64_t ColSel() const { return colSel_; }
    void setColSel(int64_t col);

    // The displayed text of the current cell (a field name on row 0).
    QString Text() const;
    // The displayed text of any grid cell; empty outside the bound table.
    QString textAt(int64_t row, int64_t col) const;

    // Puts the current cell on (row, col) and the far corner of the selection
    // on (rowSel, colSel) at once. Positions outside the grid are ignored.
    void selectCells(int64_t row, int64_t col, int64_t rowSel, int64_t colSel);

    // The displayed texts of the cells of a rectangle, whichever corners it
    // is given by: TAB between the cells of a row, CR LF between rows, no
    // line end after the last, nothing quoted. Row 0 gives the field names.
    QString cellsText(int64_t row1, int64_t col1, int64_t row2, int64_t col2) const;
    // The same for the selected rectangle.
    QString selectedText() const { return cellsText(row_, col_, rowSel_, colSel_); }

    // Sorts the data rows in descending order by the grid columns from Col
    // to ColSel (the first key first), comparing text by character code.
    // Rows with equal keys keep their order; the table itself is untouched.
    void Sort();

    int64_t ColWidth(int64_t column) const override;
    // Column -1 sets every column; other columns outside the grid are ignored.
    // A negative width counts as 0.
    void setColWidth(int64_t column, int64_t twips) override;

    // The height of every row, in pixels.
    int rowHeight() const;

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    double dpi() const;
    void applyWidth(int64_t column);
    void applyAllWidths();
    void applyRowHeight();
    void showCellInView();
    void takeCellFromView();
    void onSectionResized(int logicalIndex, int oldSize, int newSize);
    void afterBinding();

    GridModel* model_;
    std::vector<int64_t> widths_;  // twips, one per grid column
    int64_t row_ = 0;
    int64_t col_ = 1;
    int64_t rowSel_ = 0;
    int64_t colSel_ = 1;
    bool syncing_ = false;         // the view follows row_/col_, not the reverse
    bool applyingWidths_ = false;  // section resizes of our own making
};

}  // namespace brevadin
