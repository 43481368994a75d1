#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/apperror.h"
#include "logdata/stringpool.h"

namespace brevadin {

// Failures of the record table (unknown field, bad filter text, wrong state).
// Source "Recordset"; the description says what was wrong in Japanese.
class RecordsetError : public AppError {
public:
    RecordsetError(int number, const std::string& description)
        : AppError(number, "Recordset", description) {}
};

// Error numbers the record table raises.
enum RecordsetErrorCode : int {
    kErrFieldNotFound = 3265,   // the name names no field of the table
    kErrTableClosed = 3704,     // the operation needs an open table
    kErrTableOpen = 3705,       // fields can only be appended while closed
    kErrNoCurrentRow = 3021,    // at the end, or on an empty table
    kErrBadFilter = 3001,       // the filter or find text is not in the filter language
    kErrDuplicateField = 3367,  // appending a name the table already has
};

enum class FieldType {
    WideText,    // Unicode text (log fields)
    NarrowText,  // single-byte text in the original's files (IP, NAME, SVNAME)
    DateTime,    // kept as text "yyyy-mm-ddThh:mm:ss" (UPDATED, CREATED)
};

struct FieldInfo {
    std::string name;
    FieldType type = FieldType::WideText;
    // The declared size in characters. It is a declaration for the stored
    // XML form only: longer values are kept whole.
    int64_t definedSize = 255;
};

// One field's values: each distinct text is stored once in the column's pool,
// and rows hold small ids into it. Id 0 is always the empty text. The id width
// grows from 1 to 2 to 4 bytes as the number of distinct values grows, so a
// column of status codes costs one byte a row.
//
// A row costs nothing in a column where it holds no value: rows past the
// last one stored read as empty, and a column whose values are few and far
// between keeps (row, id) pairs instead of one id per row. A log may declare
// thousands of fields and then write lines of one value; the table must stay
// the size of what the lines hold, not of fields times lines.
class Column {
public:
    Column();

    uint32_t id(size_t row) const {
        if (row < rows_) {
            switch (width_) {
                case 1:
                    return bytes_[row];
                case 2: {
                    uint16_t v;
                    std::memcpy(&v, bytes_.data() + row * 2, 2);
                    return v;
                }
                default: {
                    uint32_t v;
                    std::memcpy(&v, bytes_.data() + row * 4, 4);
                    return v;
                }
            }
        }
        return sparse_.empty() ? 0 : sparseId(row);
    }
    // Any row: the column grows to hold it, rows between read as empty.
    void setId(size_t row, uint32_t id) {
        // The reader's case, inline: a value for the next row that fits the width.
        if (row == rows_ && id != 0 && !sparseForm_ && (width_ == 4 || id < (1u << (8 * width_)))) {
            if (width_ == 1) {
                bytes_.push_back(static_cast<uint8_t>(id));
            } else if (width_ == 2) {
                const auto v = static_cast<uint16_t>(id);
                const auto* b = reinterpret_cast<const uint8_t*>(&v);
                bytes_.insert(bytes_.end(), b, b + 2);
            } else {
                const auto* b = reinterpret_cast<const uint8_t*>(&id);
                bytes_.insert(bytes_.end(), b, b + 4);
            }
            ++rows_;
            ++filled_;
            return;
        }
        setIdSlow(row, id);
    }
    std::string_view text(size_t row) const { return pool_.text(id(row)); }

    uint32_t intern(std::string_view text);
    const StringPool& pool() const { return pool_; }
    size_t distinctCount() const { return pool_.size(); }

    void reserve(size_t rows);
    // Bytes the row ids take (for the benchmarks and tests).
    size_t idBytes() const { return bytes_.capacity() + sparse_.capacity() * sizeof(SparseEntry); }

private:
    struct SparseEntry {
        uint32_t row;
        uint32_t id;
    };
    uint32_t sparseId(size_t row) const;
    void setIdSlow(size_t row, uint32_t id);
    void setSparse(size_t row, uint32_t id);
    void toSparse();
    void toDense();
    void widenFor(uint32_t id) {
        if (width_ < 4 && id >= (1u << (8 * width_))) widen(id);
    }
    void widen(uint32_t id);

    StringPool pool_;
    // Dense form: one id per row for rows [0, rows_).
    std::vector<uint8_t> bytes_;
    size_t rows_ = 0;
    size_t filled_ = 0;  // of those, the rows holding a value
    uint8_t width_ = 1;
    bool sparseForm_ = false;
    // Sparse form: the rows holding a value, in row order.
    std::vector<SparseEntry> sparse_;
};

struct SortKey {
    size_t column = 0;
    bool descending = false;
};

// Orders rows (storage row numbers) by the given columns, comparing texts by
// character code (case-sensitive). Each column's distinct values are ranked
// once, so the cost is one sort of packed integer keys. Equal keys keep their
// incoming order.
void sortRows(const class Recordset& table, std::vector<uint32_t>& rows,
              const std::vector<SortKey>& keys);

// One key of a sort whose order of values is already known: rank[id] places
// each value id of the column; equal ranks are equal keys.
struct RankedKey {
    const Column* column = nullptr;
    std::vector<uint32_t> rank;
    bool descending = false;
};
// The stable sort behind sortRows, for orders other than character code.
void sortRowsByRank(std::vector<uint32_t>& rows, std::vector<RankedKey> keys);

// A key and the row (or value id) it belongs to.
struct KeyedRow {
    uint64_t key;
    uint32_t row;
};
// Stable sort by the low `bits` bits of the keys, least significant digit
// first: a million rows in a few passes over memory, where a comparison sort
// takes twenty.
void radixSortKeyed(std::vector<KeyedRow>& items, int bits);

class RowFilter;

// An in-memory table of named text fields with a current row, a filter and a
// sort order. Every loaded log, the host-name cache and the WHOIS server list
// are record tables.
//
// Rows are addressed two ways: by storage row (insertion order, all rows,
// 0-based), and by view position (the rows visible under the filter, in sort
// order). The cursor operations (moveFirst/moveNext/eof/field) walk the view.
class Recordset {
public:
    Recordset() = default;
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // --- field set --------------------------------------------------------
    // Appends a field; only while the table is closed. Throws on a duplicate name.
    void appendField(std::string name, FieldType type = FieldType::WideText,
                     int64_t definedSize = 255);
    const std::vector<FieldInfo>& fields() const { return fields_; }
    size_t fieldCount() const { return fields_.size(); }
    // Position of the field named exactly so, or -1.
    int fieldIndex(std::string_view name) const;
    bool fieldExists(std::string_view name) const { return fieldIndex(name) >= 0; }

    // --- state ------------------------------------------------------------
    void open();  // an empty in-memory table with the appended fields
    bool isOpen() const { return open_; }
    // Drops rows, filter and sort; the field set stays (as a closed table's does).
    void close();

    // --- cursor operations ---------------------------------------------------
    void addNew();  // a new row whose fields read as the empty text; becomes current
    void setField(std::string_view name, std::string_view value);  // current row
    void update();                                        // commits the new row into the view
    std::string_view field(std::string_view name) const;  // current row's value
    std::string_view field(size_t column) const;
    void moveFirst();
    void moveNext();
    bool eof() const;
    // The storage row under the cursor (only valid when !eof()).
    size_t currentRow() const;

    // Moves forward from the current row (itself included) to the first row
    // matching the criterion, a single comparison of the filter language
    // ("IP='192.0.2.1'"); leaves the cursor at the end when none matches.
    bool find(std::string_view criterion);

    // --- filter and sort --------------------------------------------------
    // The filter language (recordfilter.h): comparisons such as "field='text'",
    // "field like '*text*'" or "field >= 400" joined by not, and, or and
    // parentheses; quotes inside the text are doubled. The empty text removes
    // the filter. A text outside the language raises kErrBadFilter (an unknown
    // field kErrFieldNotFound) and leaves the old filter in place.
    void setFilter(std::string_view expression);
    const std::string& filter() const { return filterText_; }
    // "FIELD [ASC|DESC][, FIELD [ASC|DESC]...]"; the empty text removes the sort.
    void setSort(std::string_view spec);
    const std::string& sort() const { return sortText_; }

    // --- fast access ---------------------------------------------------------
    size_t rowCount() const;                         // rows visible under the filter
    size_t storedRowCount() const { return rows_; }  // all rows, hidden ones included
    // Storage row of the i-th visible row, in sort order.
    size_t viewRow(size_t i) const;
    // All visible storage rows in view order (computed on demand).
    const std::vector<uint32_t>& view() const;
    std::string_view value(size_t storageRow, size_t column) const {
        return columns_[column].text(storageRow);
    }
    const Column& column(size_t index) const { return columns_[index]; }
    Column& column(size_t index) { return columns_[index]; }

    // Appends an empty row and returns its storage row. The view follows
    // lazily, on the next read of it.
    size_t appendRow();
    // Appends a row given one value id per column (ids from column(c).intern()).
    void appendRowIds(const uint32_t* ids);
    // Appends a row holding ids[c] in each listed column c and nothing
    // elsewhere, at a cost that does not grow with the table's width.
    void appendRowIds(const uint32_t* ids, const uint32_t* columns, size_t count);
    void setValue(size_t storageRow, size_t column, std::string_view text);
    // Reserves room for rows (a hint).
    void reserveRows(size_t rows);

    // Builds a table whose fields are `names` (each a WideText of 255) and
    // whose columns are taken over, without copying rows, from `old` where a
    // name matches; other columns are empty. `old` is closed afterwards.
    static std::shared_ptr<Recordset> takeOverColumns(Recordset& old,
                                                      const std::vector<FieldInfo>& fields);

private:
    void requireOpen() const;
    void invalidateView() { viewValid_ = false; }
    void rebuildView() const;
    bool rowVisible(size_t storageRow) const;

    void indexField(size_t column);

    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view name) const noexcept {
            return std::hash<std::string_view>{}(name);
        }
    };
    std::vector<FieldInfo> fields_;
    // Name to position: stored tables and logs can have many thousands of fields.
    std::unordered_map<std::string, size_t, NameHash, std::equal_to<>> fieldIndex_;
    std::vector<Column> columns_;
    size_t rows_ = 0;
    bool open_ = false;

    std::string filterText_;
    std::shared_ptr<RowFilter> filter_;
    std::string sortText_;
    std::vector<SortKey> sortKeys_;

    mutable std::vector<uint32_t> view_;
    mutable bool viewValid_ = true;
    mutable size_t viewCoveredRows_ = 0;  // rows already considered by an unsorted view

    size_t cursor_ = 0;    // position in the view
    bool adding_ = false;  // between addNew and update
    size_t addingRow_ = 0;
};

using RecordsetPtr = std::shared_ptr<Recordset>;

}  // namespace brevadin
