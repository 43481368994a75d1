#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The filter language of the record table: comparisons "field='text'" and
// "field like '*text*'" joined by " or " and grouped by parentheses, parsed
// once and then evaluated per row.
namespace brevadin {

class Column;
class Recordset;

// The blanks the filter language skips between its parts.
inline bool isFilterSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A parsed filter or find criterion.
class RowFilter {
public:
    struct Comparison {
        size_t column = 0;
        enum Kind { Equal, Contains, Prefix, Suffix } kind = Equal;
        std::string text;

        bool matches(std::string_view value) const;
    };

    // Parses `text` against the fields of `table`. Throws RecordsetError:
    // kErrBadFilter for a text outside the language, kErrFieldNotFound for a
    // field the table lacks.
    static std::shared_ptr<RowFilter> parse(std::string_view text, const Recordset& table);

    // True when the row's value of any compared column matches one of its
    // comparisons. Not const: the answers per value are kept.
    bool visible(const std::vector<Column>& cols, size_t row);

private:
    struct PerColumn {
        size_t column = 0;
        std::vector<Comparison> tests;
        std::vector<uint8_t> match;  // by value id
    };
    static void extend(PerColumn& p, const Column& column);

    std::vector<PerColumn> columns_;
};

}  // namespace brevadin
