#include "gridview/qtgridview.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QScopedValueRollback>
#include <QStringList>
#include <QToolTip>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "gridview/qtgridmodel.h"

namespace brevadin {

namespace {

// Section sizes are ints; a width beyond this is not a column anyone can see.
constexpr int64_t kMaxPixels = 1 << 20;

}  // namespace

QFont logViewFont() {
    substituteJapaneseFonts();
    QFont font(QString::fromUtf8(kJapaneseUiFontFamily));
    font.setPointSize(9);
    font.setWeight(QFont::Normal);
    return font;
}

GridView::GridView(QWidget* parent)
    : QTableView(parent),
      model_(new GridModel(this)),
      widths_(static_cast<size_t>(kInitialCols), kDefaultColWidth) {
    setFont(logViewFont());
    setModel(model_);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setSortingEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    // Every row has the same height and no row is ever measured: a million
    // rows then cost the view no more than ten.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setMinimumSectionSize(0);
    applyRowHeight();

    connect(horizontalHeader(), &QHeaderView::sectionResized, this, &GridView::onSectionResized);
    applyAllWidths();
}

GridView::~GridView() = default;

void GridView::setDataSource(RecordsetPtr table) {
    {
        QScopedValueRollback guard(syncing_, true);
        model_->setTable(std::move(table));
    }
    afterBinding();
}

void GridView::setDataSource(RecordsetPtr table, std::vector<uint32_t> rows) {
    {
        QScopedValueRollback guard(syncing_, true);
        model_->setRows(std::move(table), std::move(rows));
    }
    afterBinding();
}

void GridView::afterBinding() {
    const int64_t needed = static_cast<int64_t>(model_->fields()) + 1;
    if (Cols() < needed) widths_.resize(static_cast<size_t>(needed), kDefaultColWidth);
    applyAllWidths();
    row_ = rowSel_ = std::min<int64_t>(1, Rows() - 1);
    col_ = colSel_ = std::min<int64_t>(1, Cols() - 1);
    showCellInView();
}

const RecordsetPtr& GridView::DataSource() const {
    return model_->table();
}

int64_t GridView::Rows() const {
    return static_cast<int64_t>(model_->rows()) + 1;
}

void GridView::setCols(int64_t cols) {
    const int64_t needed = static_cast<int64_t>(model_->fields()) + 1;
    cols = std::max(cols, needed);
    widths_.resize(static_cast<size_t>(cols), kDefaultColWidth);
    col_ = std::min(col_, cols - 1);
    colSel_ = std::min(colSel_, cols - 1);
}

void GridView::setRow(int64_t row) {
    if (row < 0 || row >= Rows()) return;
    row_ = rowSel_ = row;
    colSel_ = col_;
    showCellInView();
}

void GridView::setCol(int64_t col) {
    if (col < 0 || col >= Cols()) return;
    col_ = colSel_ = col;
    rowSel_ = row_;
    showCellInView();
}

void GridView::setRowSel(int64_t row) {
    if (row < 0 || row >= Rows()) return;
    rowSel_ = row;
    showCellInView();
}

void GridView::setColSel(int64_t col) {
    if (col < 0 || col >= Cols()) return;
    colSel_ = col;
    showCellInView();
}

QString GridView::Text() const {
    return textAt(row_, col_);
}

QString GridView::textAt(int64_t row, int64_t col) const {
    if (col < 1 || row < 0) return QString();
    if (row == 0) return model_->fieldName(static_cast<size_t>(col - 1));
    return model_->cellText(static_cast<size_t>(row - 1), static_cast<size_t>(col - 1));
}

void GridView::selectCells(int64_t row, int64_t col, int64_t rowSel, int64_t colSel) {
    const int64_t rows = Rows();
    const int64_t cols = Cols();
    auto inside = [](int64_t v, int64_t n) { return v >= 0 && v < n; };
    if (!inside(row, rows) || !inside(rowSel, rows) || !inside(col, cols) || !inside(colSel, cols))
        return;
    row_ = row;
    col_ = col;
    rowSel_ = rowSel;
    colSel_ = colSel;
    showCellInView();
}

QString GridView::cellsText(int64_t row1, int64_t col1, int64_t row2, int64_t col2) const {
    const int64_t top = std::max<int64_t>(std::min(row1, row2), 0);
    const int64_t bottom = std::min(std::max(row1, row2), Rows() - 1);
    const int64_t left = std::max<int64_t>(std::min(col1, col2), 0);
    const int64_t right = std::min(std::max(col1, col2), Cols() - 1);
    if (top > bottom || left > right) return QString();

    // The text is put together as UTF-8 straight from the table's stored
    // values and converted once: a million rows are then a few hundred
    // megabytes of copying rather than tens of millions of small strings.
    const Recordset* table = model_->table().get();
    const int64_t fields = static_cast<int64_t>(model_->fields());
    const size_t dataRows = model_->rows();
    const size_t stored = table ? table->storedRowCount() : 0;
    // Cells outside the table (the row-header column, widths the table does
    // not fill, rows of a table closed behind the grid's back) show nothing.
    auto storageOf = [&](int64_t row) -> size_t {
        const size_t r = static_cast<size_t>(row - 1);
        if (r >= dataRows) return SIZE_MAX;
        const size_t s = model_->storageRow(r);
        return s < stored ? s : SIZE_MAX;
    };
    auto cell = [&](int64_t row, size_t storage, int64_t col) -> std::string_view {
        if (!table || col < 1 || col > fields) return {};
        const size_t field = static_cast<size_t>(col - 1);
        if (row == 0) return table->fields()[field].name;
        if (storage == SIZE_MAX) return {};
        return table->value(storage, field);
    };

    const int64_t lines = bottom - top + 1;
    size_t bytes = static_cast<size_t>(lines) * static_cast<size_t>(right - left) +
                   2 * static_cast<size_t>(lines - 1);
    for (int64_t r = top; r <= bottom; ++r) {
        const size_t storage = r == 0 ? SIZE_MAX : storageOf(r);
        for (int64_t c = left; c <= right; ++c) bytes += cell(r, storage, c).size();
    }
    std::string out;
    out.reserve(bytes);
    for (int64_t r = top; r <= bottom; ++r) {
        const size_t storage = r == 0 ? SIZE_MAX : storageOf(r);
        for (int64_t c = left; c <= right; ++c) {
            out.append(cell(r, storage, c));
            if (c != right) out.push_back('\t');
        }
        if (r != bottom) out.append("\r\n");
    }
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}

void GridView::Sort() {
    const int64_t fields = static_cast<int64_t>(model_->fields());
    const int64_t first = std::max<int64_t>(std::min(col_, colSel_), 1);
    const int64_t last = std::min(std::max(col_, colSel_), fields);
    std::vector<SortKey> keys;
    for (int64_t c = first; c <= last; ++c) keys.push_back({static_cast<size_t>(c - 1), true});
    model_->sortRows(keys);
}

int64_t GridView::ColWidth(int64_t column) const {
    if (column < 0 || column >= Cols()) return 0;
    return widths_[static_cast<size_t>(column)];
}

void GridView::setColWidth(int64_t column, int64_t twips) {
    twips = std::max<int64_t>(twips, 0);
    if (column == -1) {
        std::fill(widths_.begin(), widths_.end(), twips);
        applyAllWidths();
        return;
    }
    if (column < 0 || column >= Cols()) return;
    widths_[static_cast<size_t>(column)] = twips;
    applyWidth(column);
}

int GridView::rowHeight() const {
    return verticalHeader()->defaultSectionSize();
}

double GridView::dpi() const {
    const int d = logicalDpiX();
    return d > 0 ? d : 96.0;
}

void GridView::applyWidth(int64_t column) {
    const int px = static_cast<int>(
        std::min(pixelsFromTwips(widths_[static_cast<size_t>(column)], dpi()), kMaxPixels));
    if (column == 0) {
        verticalHeader()->setFixedWidth(px);
        return;
    }
    if (column - 1 >= model_->columnCount()) return;
    QScopedValueRollback guard(applyingWidths_, true);
    horizontalHeader()->resizeSection(static_cast<int>(column - 1), px);
}

void GridView::applyAllWidths() {
    const int64_t shown = std::min<int64_t>(Cols(), model_->columnCount() + 1);
    for (int64_t c = 0; c < shown; ++c) applyWidth(c);
}

void GridView::applyRowHeight() {
    const int h = QFontMetrics(font()).height() + 3;
    verticalHeader()->setMinimumSectionSize(std::min(h, verticalHeader()->minimumSectionSize()));
    verticalHeader()->setDefaultSectionSize(h);
}

void GridView::onSectionResized(int logicalIndex, int /*oldSize*/, int newSize) {
    if (applyingWidths_) return;
    // The user dragged a column edge: remember the new width.
    const size_t column = static_cast<size_t>(logicalIndex) + 1;
    if (column < widths_.size()) widths_[column] = twipsFromPixels(newSize, dpi());
}

void GridView::showCellInView() {
    if (!model_->table()) return;
    QScopedValueRollback guard(syncing_, true);
    QItemSelectionModel* sm = selectionModel();
    const int64_t rows = static_cast<int64_t>(model_->rows());
    const int64_t cols = model_->columnCount();
    auto inData = [&](int64_t r, int64_t c) { return r >= 1 && c >= 1 && r <= rows && c <= cols; };

    if (inData(row_, col_)) {
        sm->setCurrentIndex(model_->index(static_cast<int>(row_ - 1), static_cast<int>(col_ - 1)),
                            QItemSelectionModel::NoUpdate);
    } else {
        sm->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    const int64_t r1 = std::max<int64_t>(std::min(row_, rowSel_), 1);
    const int64_t r2 = std::min(std::max(row_, rowSel_), rows);
    const int64_t c1 = std::max<int64_t>(std::min(col_, colSel_), 1);
    const int64_t c2 = std::min(std::max(col_, colSel_), cols);
    if (r1 > r2 || c1 > c2) {
        sm->clearSelection();
        return;
    }
    QItemSelection range(model_->index(static_cast<int>(r1 - 1), static_cast<int>(c1 - 1)),
                         model_->index(static_cast<int>(r2 - 1), static_cast<int>(c2 - 1)));
    sm->select(range, QItemSelectionModel::ClearAndSelect);
}

void GridView::takeCellFromView() {
    const QModelIndex current = currentIndex();
    if (!current.isValid()) return;
    const int64_t cr = current.row() + 1;
    const int64_t cc = current.column() + 1;
    row_ = rowSel_ = cr;
    col_ = colSel_ = cc;
    // Qt moves its current index with the end of the selection that the
    // mouse or the keyboard extends; the grid's current cell is the anchor,
    // the corner opposite to it.
    const QItemSelection selection = selectionModel()->selection();
    for (auto it = selection.crbegin(); it != selection.crend(); ++it) {
        if (!it->contains(current)) continue;
        row_ = (current.row() == it->top() ? it->bottom() : it->top()) + 1;
        col_ = (current.column() == it->left() ? it->right() : it->left()) + 1;
        break;
    }
}

void GridView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (!syncing_) takeCellFromView();
}

void GridView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QTableView::selectionChanged(selected, deselected);
    if (!syncing_) takeCellFromView();
}

void GridView::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) applyRowHeight();
}

bool GridView::event(QEvent* event) {
    const bool handled = QTableView::event(event);
    // Another screen may have another resolution: the twips stay, the pixels follow.
    if (event->type() == QEvent::ScreenChangeInternal) applyAllWidths();
    return handled;
}

bool GridView::viewportEvent(QEvent* event) {
    // The model has no tool tips of its own; the grid's tool tip, set by
    // whoever owns the grid, shows wherever the pointer rests.
    if (event->type() == QEvent::ToolTip && !toolTip().isEmpty()) {
        auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(), toolTip(), viewport());
        return true;
    }
    return QTableView::viewportEvent(event);
}

}  // namespace brevadin
