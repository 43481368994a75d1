#pragma once

#include <cstdint>

namespace brevadin {

// What the settings store needs of the grid: its column count and each
// column's width in twips (1/1440 inch). The viewer's grid implements it;
// tests use a plain table of widths.
class ColumnWidths {
public:
    virtual ~ColumnWidths() = default;
    virtual int64_t Cols() const = 0;
    virtual int64_t ColWidth(int64_t column) const = 0;
    // Column -1 sets every column.
    virtual void setColWidth(int64_t column, int64_t twips) = 0;
};

}  // namespace brevadin
