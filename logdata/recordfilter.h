#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The filter language of the record table: comparisons (=, <>, <, <=, >, >=,
// like) of a field with a quoted text or a bare number, joined by "not",
// "and" and "or" (in that order of binding) and grouped by parentheses. It is
// parsed once and then evaluated per row through answers kept per value id.
namespace brevadin {

class Column;
class Recordset;

// The blanks the filter language skips between its parts.
inline bool isFilterSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Where a filter text stops making sense: the 0-based position in UTF-8
// bytes and, for people, in characters; the message is Japanese.
struct FilterError {
    size_t position = 0;
    std::string message;
    size_t character = 0;
    bool unknownField = false;
};

// A parsed filter or find criterion.
class RowFilter {
public:
    struct Comparison {
        size_t column = 0;
        enum Kind { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual, Like } kind = Equal;
        std::string text;
        bool numeric = false;  // the value was written as a bare number
        double number = 0;

        bool matches(std::string_view value) const;
    };

    // Parses `text` against the fields of `table`. Throws RecordsetError:
    // kErrBadFilter for a text outside the language, kErrFieldNotFound for a
    // field the table lacks.
    static std::shared_ptr<RowFilter> parse(std::string_view text, const Recordset& table);
    // The same without throwing: null and *error filled when refused.
    static std::shared_ptr<RowFilter> parse(std::string_view text, const Recordset& table,
                                            FilterError* error);

    // True when the row satisfies the expression. Not const: the answers per
    // value are kept.
    bool visible(const std::vector<Column>& cols, size_t row);
    bool visible(const Recordset& table, size_t row);

    struct Node {
        enum Op { Or, And, Not, Test } op = Test;
        std::vector<Node> kids;
        size_t test = 0;  // index into tests_ for Test
    };

private:
    struct Test {
        Comparison cmp;
        std::vector<uint8_t> match;  // by value id
    };
    template <class Columns>
    bool eval(const Node& n, const Columns& cols, size_t row);

    Node root_;
    std::vector<Test> tests_;
};

// True when the text reads as a number of the filter language and typed
// sorts: an optional sign, digits, an optional fraction.
bool parseFilterNumber(std::string_view text, double* out);

}  // namespace brevadin
