#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logdata/recordfilter.h"
#include "logdata/recordset.h"

// What a person does to look through a table: a filter typed by hand, a
// sort by typed keys, a find of a text in the cells. The viewer's tabs and
// the exporter share these, so both read a filter and order rows alike.
namespace brevadin {

// The one text shown beside the filter box and printed by the exporter,
// e.g. "12 文字目: ')' がありません" (the position 1-based, in characters).
std::string filterErrorText(const FilterError& e);

// A parsed user filter in the record table's filter language.
class RowQuery;
struct ParsedQuery {
    std::shared_ptr<RowQuery> query;
    std::optional<FilterError> error;
};
// Blank text gives a null query and no error.
ParsedQuery parseRowQuery(std::string_view text, const Recordset& table);
// The rows of `rows` (storage rows, in order) that `query` keeps, in the
// same order. A null query keeps all.
std::vector<uint32_t> filterRows(const Recordset& table, const std::vector<uint32_t>& rows,
                                 RowQuery* query);

// Typed, stable sort of storage rows. Each column's kind of key comes from
// its field name and values: numbers when every value is one apart from "-"
// and empty (those come first ascending); NCSA "Date" by the moment it names,
// zone offset included; IIS 日付 by the day, then by 時刻 of the same row;
// IIS 時刻 by the time of day; anything else by character code.
void sortRowsTyped(const Recordset& table, std::vector<uint32_t>& rows,
                   const std::vector<SortKey>& keys);

// The moments the typed sort reads: NCSA "10/Oct/2000:13:55:36 -0700" as
// seconds since 1970 in UTC, an IIS 日付 as days since 1970. False for
// anything else.
bool readNcsaMoment(std::string_view text, int64_t* seconds);
bool readIisDay(std::string_view text, int64_t* days);

// A cell in view order: the position in the row list and the column.
struct CellPosition {
    size_t viewRow = 0;
    size_t column = 0;
};
// The next cell after (forward) or before (backward) `from`, in view order
// (row by row, left to right over all columns) over `rows`, whose value
// contains `needle`. Without matchCase letters compare case-folded (ASCII,
// full-width, Latin, Greek, Cyrillic). Wraps around once, `from` itself
// last; *wrapped (when given) says the search passed the end.
std::optional<CellPosition> findCell(const Recordset& table, const std::vector<uint32_t>& rows,
                                     std::string_view needle, bool matchCase, CellPosition from,
                                     bool forward, bool* wrapped);

// "field = 'value'" or "field <> 'value'" with quotes doubled; the field goes
// in [brackets] unless it is ASCII letters, digits and '_' only.
std::string valueClause(std::string_view field, std::string_view value, bool exclude);
// "current and clause"; a side holding a top-level "or" is parenthesised.
std::string andClauses(std::string_view current, std::string_view clause);

}  // namespace brevadin
