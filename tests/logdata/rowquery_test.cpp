#include "logdata/rowquery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/support/tables.h"

namespace brevadin {
namespace {

using testing::makeTable;
using testing::Strings;

const Strings kFields = {"k", "s", "n", "cs(User-Agent)", "ユーザー名"};
const std::vector<Strings> kRows = {{"a", "/index.html", "200", "Mozilla", "太郎"},
                                    {"b", "/B.asp", "404", "Googlebot", "-"},
                                    {"c", "it's", "-", "bingbot/2.0", "花子"},
                                    {"d", "/a.htm", "1000", "", "太郎"},
                                    {"e", "/x.gif", "30", "Mozilla", ""}};

std::vector<uint32_t> allRows(const Recordset& t) {
    std::vector<uint32_t> rows(t.storedRowCount());
    for (uint32_t i = 0; i < rows.size(); ++i) rows[i] = i;
    return rows;
}

std::string keys(const Recordset& t, const std::vector<uint32_t>& rows) {
    std::string out;
    for (uint32_t r : rows) out += t.value(r, 0);
    return out;
}

TEST(RowQuery, FilterLanguage) {
    auto t = makeTable(kFields, kRows);
    const struct {
        const char *expr, *kept;
    } cases[] = {
        {"n > 100", "abd"},
        {"n >= '200'", "abd"},  // both sides numbers: numeric even when quoted
        {"s > 'it'", "c"},
        {"n = 200 or n = 30", "ae"},
        {"s like '/b*' or s like '*.HTM*'", ""},  // case-sensitive
        {"n = '1000'", "d"},
        {"n <> 404", "acde"},
        {"n != 404 and n <= 200.0 and n <> '-'", "ae"},
        {"n = 200 or n = 404 and s = 'x'", "a"},  // and binds tighter
        {"not n = 200 and not s like '/*'", "c"},
        {"NOT (n = 200 OR n = 404)", "cde"},
        {"[cs(User-Agent)] like '*bot*'", "bc"},
        {"cs(User-Agent) LIKE '%bot%'", "bc"},
        {"cs(User-Agent) like 'G*o*t'", "b"},
        {"k like '*a*a' or s like '/*.*s*'", "b"},
        {"ユーザー名 = '太郎'", "ad"},
        {"ユーザー名 = '' or [ユーザー名]='-'", "be"},
        {"s = 'it''s'", "c"},
        {"(s='/index.html')or(n=30)", "ae"},
        {"not(not(k='a'))", "a"},
        {"   ", "abcde"},
    };
    for (const auto& c : cases) {
        ParsedQuery q = parseRowQuery(c.expr, *t);
        ASSERT_FALSE(q.error) << c.expr << ": " << filterErrorText(*q.error);
        EXPECT_EQ(keys(*t, filterRows(*t, allRows(*t), q.query.get())), c.kept) << c.expr;
        // The record table's own filter speaks the same language.
        t->setFilter(c.expr);
        EXPECT_EQ(t->rowCount(), std::string(c.kept).size()) << c.expr;
    }
}

TEST(RowQuery, ErrorsNameTheCharacterPosition) {
    auto t = makeTable(kFields, kRows);
    const struct {
        const char *expr, *text;
    } cases[] = {
        {"n = ", "5 文字目: 値が必要です (文字は単一引用符で囲みます)"},
        {"(n = 1", "7 文字目: ')' がありません"},
        {"ユーザー名 = '太郎", "9 文字目: 引用符が閉じていません"},
        {"n = 1 and nope = 1", "11 文字目: フィールド 'nope' はありません"},
        {"n = 1 n = 2", "7 文字目: 'and' か 'or' が必要です"},
        {"n = 1)", "6 文字目: ')' に対応する '(' がありません"},
        {"n like 5", "8 文字目: like のパターンは単一引用符で囲んでください"},
        {"n = 1 and", "10 文字目: 式が途中で終わっています"},
        {"[n = 1", "1 文字目: ']' がありません"},
        {"n=x", nullptr},
        {"n", nullptr},
        {"n = 1 or", nullptr},
        {"or n = 1", nullptr},
        {"not", nullptr},
        {"x' or '1'='1", nullptr},
    };
    // The record table refuses them too and keeps its filter.
    t->setFilter("k='a'");
    for (const auto& c : cases) {
        ParsedQuery q = parseRowQuery(c.expr, *t);
        ASSERT_TRUE(q.error) << c.expr;
        EXPECT_FALSE(q.query);
        EXPECT_EQ(filterErrorText(*q.error), c.text ? c.text : filterErrorText(*q.error)) << c.expr;
        try {
            t->setFilter(c.expr);
            ADD_FAILURE() << "accepted: " << c.expr;
        } catch (const RecordsetError& e) {
            EXPECT_TRUE(e.number() == kErrBadFilter || e.number() == kErrFieldNotFound) << c.expr;
            EXPECT_FALSE(e.description().empty());
        }
        EXPECT_EQ(t->filter(), "k='a'");
        EXPECT_EQ(t->rowCount(), 1u) << c.expr;
    }
}

TEST(RowQuery, TypedStableSort) {
    auto t = makeTable({"k", "Date", "日付", "時刻", "Byte"},
                       {{"a", "10/Oct/2000:13:55:36 -0700", "05/01/03", "10:00:00", "100"},
                        {"b", "10/Oct/2000:20:00:00 +0000", "05/01/03", "9:30:00", "-"},
                        {"c", "10/Oct/2000:21:00:00 +0200", "12/31/02", "23:00:00", "20"},
                        {"d", "-", "05/02/03", "0:00:00", "3"},
                        {"e", "09/Oct/2000:23:00:00 -0700", "05/01/03", "10:00:00", ""}});
    const struct {
        std::vector<SortKey> passes;  // applied one after another
        const char* order;
    } cases[] = {
        {{{1, false}}, "decba"},             // moments, zones included; "-" first
        {{{2, false}}, "cbaed"},             // day, then time of day; a and e tie
        {{{3, false}}, "dbaec"},             // time of day, not text
        {{{4, false}}, "bedca"},             // "-" and "" tie before every number
        {{{4, true}}, "acdbe"},              // reversed, ties still in their order
        {{{0, true}, {3, false}}, "dbeac"},  // a second sort keeps the first in ties
    };
    for (const auto& c : cases) {
        auto rows = allRows(*t);
        for (const auto& key : c.passes) sortRowsTyped(*t, rows, {key});
        EXPECT_EQ(keys(*t, rows), c.order) << c.passes.front().column;
    }
}

TEST(RowQuery, LargeSortsMatchAReferenceSort) {
    // Enough rows for the radix paths, texts sharing long beginnings, zero
    // bytes and short texts among them, numbers with "-".
    std::mt19937 rng(7);
    std::vector<Strings> rows;
    for (int i = 0; i < 3000; ++i) {
        std::string host = "host" + std::to_string(rng() % 40) + ".example.ne.jp [61." +
                           std::to_string(rng() % 300) + "]";
        if (i % 97 == 0) host = i % 2 ? std::string("host1\0", 6) : "host";
        rows.push_back({host, i % 13 ? std::to_string(int(rng() % 2000) - 1000) + ".5" : "-"});
    }
    auto t = makeTable({"c-ip", "n"}, rows);
    for (size_t column : {0, 1}) {
        auto rowsSorted = allRows(*t);
        std::reverse(rowsSorted.begin(), rowsSorted.end());
        auto expected = rowsSorted;
        auto key = [&](uint32_t r) {
            double v = -1e300;
            parseFilterNumber(t->value(r, column), &v);
            return v;
        };
        std::stable_sort(expected.begin(), expected.end(), [&](uint32_t a, uint32_t b) {
            return column == 0 ? t->value(a, 0) < t->value(b, 0) : key(a) < key(b);
        });
        sortRowsTyped(*t, rowsSorted, {{column, false}});
        EXPECT_EQ(rowsSorted, expected) << column;
    }
}

TEST(RowQuery, FindInViewOrderWithWrap) {
    auto t = makeTable(kFields, kRows);
    const std::vector<uint32_t> view = {4, 3, 2, 1, 0};  // e d c b a
    const struct {
        const char* needle;
        bool matchCase, forward;
        CellPosition from;
        int row, column;  // -1: none
        bool wrapped;
    } cases[] = {
        {"mozilla", false, true, {0, 0}, 0, 3, false},
        {"mozilla", false, true, {0, 3}, 4, 3, false},
        {"mozilla", false, true, {4, 3}, 0, 3, true},
        {"mozilla", true, true, {0, 0}, -1, 0, false},
        {"Mozilla", true, false, {0, 3}, 4, 3, true},
        {"b", true, true, {3, 0}, 3, 3, false},
        {"b", false, true, {3, 0}, 3, 1, false},
        {"GOOGLEBOT", false, false, {4, 0}, 3, 3, false},
        {"花子", false, true, {2, 4}, 2, 4, true},  // the only match: itself, after a wrap
    };
    for (const auto& c : cases) {
        bool wrapped = !c.wrapped;
        auto at = findCell(*t, view, c.needle, c.matchCase, c.from, c.forward, &wrapped);
        const std::string where = std::string(c.needle) + " from " + std::to_string(c.from.viewRow);
        ASSERT_EQ(at.has_value(), c.row >= 0) << where;
        if (!at) continue;
        EXPECT_EQ(at->viewRow, size_t(c.row)) << where;
        EXPECT_EQ(at->column, size_t(c.column)) << where;
        EXPECT_EQ(wrapped, c.wrapped) << where;
    }
}

TEST(RowQuery, ClausesFromCells) {
    auto t = makeTable(kFields, kRows);
    // A clause made from any cell keeps exactly the rows holding that value.
    for (size_t col = 0; col < kFields.size(); ++col) {
        for (size_t row = 0; row < kRows.size(); ++row) {
            for (bool exclude : {false, true}) {
                std::string v(t->value(row, col));
                auto q = parseRowQuery(valueClause(kFields[col], v, exclude), *t);
                ASSERT_TRUE(q.query) << valueClause(kFields[col], v, exclude);
                for (uint32_t r : allRows(*t))
                    EXPECT_EQ(filterRows(*t, {r}, q.query.get()).size(),
                              (t->value(r, col) == v) != exclude);
            }
        }
    }
    const struct {
        const char *current, *clause, *joined;
    } cases[] = {{"  ", "a = '1'", "a = '1'"},
                 {"a = '1' or b = '2'", "c = '3'", "(a = '1' or b = '2') and c = '3'"},
                 {"a='1'OR b='2'", "c = '3'", "(a='1'OR b='2') and c = '3'"},
                 {"s = 'x or y' and (a = '1' or b = '2')", "c = '3'",
                  "s = 'x or y' and (a = '1' or b = '2') and c = '3'"},
                 {"[color] = 'x'", "c = '3'", "[color] = 'x' and c = '3'"}};
    for (const auto& c : cases) EXPECT_EQ(andClauses(c.current, c.clause), c.joined);
    EXPECT_EQ(valueClause("a]b", "x", false), "[a]]b] = 'x'");
}

}  // namespace
}  // namespace brevadin
