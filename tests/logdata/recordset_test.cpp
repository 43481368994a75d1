#include "logdata/recordset.h"

#include <gtest/gtest.h>

#include "tests/support/tables.h"

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace brevadin {
namespace {

using testing::makeTable;

std::vector<std::string> visibleColumn(const Recordset& t, size_t column) {
    std::vector<std::string> out;
    for (size_t i = 0; i < t.rowCount(); ++i) out.emplace_back(t.value(t.viewRow(i), column));
    return out;
}

using Strings = std::vector<std::string>;

TEST(RecordsetState, FieldsKeepOrderAndNamesAreCaseSensitive) {
    Recordset t;
    t.appendField("date");
    t.appendField("Date");
    t.appendField("c-ip", FieldType::NarrowText, 50);
    EXPECT_EQ(t.fieldIndex("Date"), 1);
    EXPECT_EQ(t.fieldIndex("DATE"), -1);
    EXPECT_THROW(t.appendField("date"), RecordsetError);
    t.open();
    EXPECT_THROW(t.appendField("late"), RecordsetError);
    ASSERT_EQ(t.fields().size(), 3u);
    EXPECT_EQ(t.fields()[2].definedSize, 50);
}

TEST(RecordsetState, CursorWalksInsertionOrderAndUnsetFieldsAreEmpty) {
    auto t = makeTable({"a", "b"}, {{"1"}, {"2", "x"}});
    t->moveFirst();
    ASSERT_FALSE(t->eof());
    EXPECT_EQ(t->field("a"), "1");
    EXPECT_EQ(t->field("b"), "");
    t->moveNext();
    EXPECT_EQ(t->field("b"), "x");
    t->moveNext();
    EXPECT_TRUE(t->eof());
    EXPECT_THROW(t->moveNext(), RecordsetError);
    EXPECT_THROW(t->field("a"), RecordsetError);
    EXPECT_THROW(t->field("nope"), RecordsetError);
}

TEST(RecordsetState, EmptyTableIsAtEndAtOnceAndCloseKeepsFields) {
    auto t = makeTable({"a"}, {});
    t->moveFirst();
    EXPECT_TRUE(t->eof());
    auto u = makeTable({"a", "b"}, {{"1", "2"}});
    u->setFilter("a='1'");
    u->close();
    EXPECT_FALSE(u->isOpen());
    EXPECT_EQ(u->fieldCount(), 2u);
    EXPECT_THROW(u->setFilter("a='1'"), RecordsetError);
    u->open();
    EXPECT_EQ(u->rowCount(), 0u);
    EXPECT_EQ(u->filter(), "");
}

TEST(RecordsetState, LongValuesAreKeptWhole) {
    std::string probe = "/default.ida?" + std::string(400, 'N') + "%u9090";
    auto t = makeTable({"cs-uri-query"}, {{probe}});
    t->moveFirst();
    EXPECT_EQ(t->field("cs-uri-query"), probe);
}

TEST(RecordsetColumns, IdsWidenAsDistinctValuesGrowWithoutLosingRows) {
    Recordset t;
    t.appendField("v");
    t.open();
    const size_t n = 70000;  // beyond both the 1-byte and the 2-byte id range
    for (size_t i = 0; i < n; ++i) {
        uint32_t id = t.column(0).intern("v" + std::to_string(i % 69000));
        t.appendRowIds(&id);
    }
    ASSERT_EQ(t.rowCount(), n);
    for (size_t i : {size_t{0}, size_t{255}, size_t{256}, size_t{65535}, size_t{65536},
                     size_t{68999}, size_t{69000}, n - 1})
        EXPECT_EQ(t.value(i, 0), "v" + std::to_string(i % 69000)) << i;
}

// Values far apart, close together, overwritten, cleared and set out of
// order read back as set, while the ids cost at most a pair per value beyond
// a small column's minimum: a wide table of mostly empty columns must not cost
// rows times columns.
TEST(RecordsetColumns, ValuesReadBackAsSetAtACostBoundedByTheirNumber) {
    using Writes = std::vector<std::pair<size_t, int>>;  // row, value (0: empty)
    auto range = [](size_t from, size_t to, size_t step, int value, Writes w = {}) {
        for (size_t r = from; r < to; r += step) w.push_back({r, value ? value : int(r % 300 + 1)});
        return w;
    };
    const std::pair<const char*, Writes> cases[] = {
        {"every row", range(0, 3000, 1, 0)},
        {"every thousandth", range(0, 1000000, 1000, 0)},
        {"dense, then one far away", range(0, 500, 1, 0, {{2000000, 7}})},
        {"far apart, then filled in", range(0, 3000, 1, 0, range(0, 100000, 5000, 9))},
        {"backwards",
         [] {
             Writes w;
             for (size_t r = 70000; r >= 7; r -= 7) w.push_back({r, int(r % 70000 + 1)});
             return w;
         }()},
        {"set, then every other cleared", range(0, 4000, 2, 0, range(0, 4000, 1, 5))},
    };
    for (const auto& [name, writes] : cases) {
        SCOPED_TRACE(name);
        Column c;
        std::map<size_t, uint32_t> model;
        for (auto [row, value] : writes) {
            uint32_t id = value ? c.intern("v" + std::to_string(value)) : 0;
            c.setId(row, id);
            if (id)
                model[row] = id;
            else
                model.erase(row);
        }
        size_t last = model.empty() ? 0 : model.rbegin()->first;
        for (size_t row = 0; row <= last + 300; row += row < 5000 ? 1 : 97) {
            auto it = model.find(row);
            ASSERT_EQ(c.id(row), it == model.end() ? 0u : it->second) << row;
        }
        for (auto [row, id] : model) ASSERT_EQ(c.id(row), id) << row;
        EXPECT_LE(c.idBytes(), 2 * 8 * model.size() + 4096);
    }
}

TEST(RecordsetFilter, EqualityLikeOrAndParentheses) {
    auto t = makeTable({"cs-uri-stem", "sc-status"}, {{"/"},
                                                      {"/index.html"},
                                                      {"/a.htm"},
                                                      {"/x.shtml"},
                                                      {"/b.asp"},
                                                      {"/c.aspx"},
                                                      {"/img/logo.gif"},
                                                      {"/movie.avi"},
                                                      {"/ROOT.HTML"}});
    t->setFilter("cs-uri-stem='/'");
    EXPECT_EQ(visibleColumn(*t, 0), Strings({"/"}));
    t->setFilter(
        "cs-uri-stem='/' or ( cs-uri-stem like '*.htm*' or cs-uri-stem like '*.shtml*' )  or "
        "cs-uri-stem like '*.asp*'");
    EXPECT_EQ(visibleColumn(*t, 0),
              Strings({"/", "/index.html", "/a.htm", "/x.shtml", "/b.asp", "/c.aspx"}));
    // Case-sensitive: ".HTML" is not ".htm".
    t->setFilter("cs-uri-stem like '*.htm*'");
    EXPECT_EQ(t->rowCount(), 2u);
    t->setFilter("cs-uri-stem like '/img*'");
    EXPECT_EQ(visibleColumn(*t, 0), Strings({"/img/logo.gif"}));
    t->setFilter("cs-uri-stem like '*.avi'");
    EXPECT_EQ(visibleColumn(*t, 0), Strings({"/movie.avi"}));
    t->setFilter("   ");
    EXPECT_EQ(t->rowCount(), 9u);
}

TEST(RecordsetFilter, ComparisonsOnSeveralColumnsAndQuotesInText) {
    auto t = makeTable({"c-ip", "cs(Referer)"},
                       {{"a", "-"}, {"o'hara", "x"}, {"b", "http://e/?q=it's"}, {"c", "-"}});
    t->setFilter("c-ip='o''hara' or cs(Referer) like '*it''s*'");
    EXPECT_EQ(visibleColumn(*t, 0), Strings({"o'hara", "b"}));
    t->setFilter("(c-ip='a')or(c-ip='c')");
    EXPECT_EQ(visibleColumn(*t, 0), Strings({"a", "c"}));
}

TEST(RecordsetFilter, TextsOutsideTheLanguageAreErrorsAndKeepTheOldFilter) {
    auto t = makeTable({"a"}, {{"1"}, {"2"}});
    t->setFilter("a='1'");
    for (const char* bad :
         {"a='1", "a=1", "a = '1' and a = '2'", "(a='1'", "a='1')", "a like '*x*y*'", "nope='1'",
          "a", "a='1' or", "or a='1'", "a <> '1'", "x' or '1'='1"}) {
        try {
            t->setFilter(bad);
            ADD_FAILURE() << "accepted: " << bad;
        } catch (const RecordsetError& e) {
            EXPECT_TRUE(e.number() == kErrBadFilter || e.number() == kErrFieldNotFound) << bad;
            EXPECT_FALSE(e.description().empty());
        }
        EXPECT_EQ(t->filter(), "a='1'");
        EXPECT_EQ(t->rowCount(), 1u) << bad;
    }
}

TEST(RecordsetFilter, RowsAppendedUnderAFilterAreJudgedToo) {
    auto t = makeTable({"a"}, {{"keep"}, {"drop"}});
    t->setFilter("a like '*ee*'");
    EXPECT_EQ(t->rowCount(), 1u);
    uint32_t ids[] = {t->column(0).intern("keep2")};
    t->appendRowIds(ids);
    ids[0] = t->column(0).intern("other");
    t->appendRowIds(ids);
    EXPECT_EQ(visibleColumn(*t, 0), Strings({"keep", "keep2"}));
}

TEST(RecordsetSort, DescendingOnTwoColumnsIsStableAndFollowsAppends) {
    auto t = makeTable({"date", "time", "n"}, {{"2003-05-01", "10:00:00", "1"},
                                               {"2003-05-02", "09:00:00", "2"},
                                               {"2003-05-01", "23:00:00", "3"},
                                               {"2003-05-02", "09:00:00", "4"},
                                               {"2003-05-01", "10:00:00", "5"}});
    t->setSort("date DESC, time DESC");
    EXPECT_EQ(visibleColumn(*t, 2), Strings({"2", "4", "3", "1", "5"}));
    t->addNew();
    t->setField("date", "2004-01-01");
    t->update();
    EXPECT_EQ(visibleColumn(*t, 2).front(), "");
    t->setSort("n");
    EXPECT_EQ(visibleColumn(*t, 2), Strings({"", "1", "2", "3", "4", "5"}));
    EXPECT_THROW(t->setSort("nope DESC"), RecordsetError);
    t->setSort("");
    EXPECT_EQ(visibleColumn(*t, 2), Strings({"1", "2", "3", "4", "5", ""}));
}

TEST(RecordsetSort, ComparesByCharacterCodeAndWorksUnderAFilter) {
    auto t = makeTable({"k"}, {{"b"}, {"B"}, {"a"}, {"\xe3\x81\x82"}, {"A"}, {"ab"}});
    t->setFilter("k like '*b*' or k='A' or k like '*\xe3\x81\x82*'");
    t->setSort("k ASC");
    EXPECT_EQ(visibleColumn(*t, 0), Strings({"A", "ab", "b", "\xe3\x81\x82"}));
}

TEST(RecordsetSort, ManyKeysBeyondOnePackedIntegerMatchAReferenceSort) {
    // 33 keys of three values each need 66 bits: the sort must fall back
    // from packed keys and still agree with a plain stable sort.
    std::vector<std::string> names;
    for (int i = 0; i < 33; ++i) names.push_back("f" + std::to_string(i));
    std::mt19937 rng(7);
    std::vector<std::vector<std::string>> rows(400);
    for (auto& r : rows)
        for (int i = 0; i < 33; ++i) r.emplace_back(1, static_cast<char>('a' + rng() % 3));
    auto t = makeTable(names, rows);
    std::string spec;
    for (int i = 0; i < 33; ++i) {
        if (i) spec.append(", ");
        spec.append(names[i]);
        if (i % 2) spec.append(" DESC");
    }
    t->setSort(spec);
    std::vector<size_t> expect(rows.size());
    for (size_t i = 0; i < expect.size(); ++i) expect[i] = i;
    std::stable_sort(expect.begin(), expect.end(), [&](size_t a, size_t b) {
        for (int i = 0; i < 33; ++i) {
            if (rows[a][i] == rows[b][i]) continue;
            return i % 2 ? rows[a][i] > rows[b][i] : rows[a][i] < rows[b][i];
        }
        return false;
    });
    for (size_t i = 0; i < expect.size(); ++i) ASSERT_EQ(t->viewRow(i), expect[i]) << i;
}

TEST(RecordsetFind, SearchesForwardFromTheCurrentRow) {
    auto t = makeTable({"IP", "NAME"}, {{"10.0.0.1", "a"}, {"10.0.0.2", "b"}, {"10.0.0.1", "c"}});
    t->moveFirst();
    EXPECT_TRUE(t->find("IP='10.0.0.1'"));
    EXPECT_EQ(t->field("NAME"), "a");
    t->moveNext();
    EXPECT_TRUE(t->find("IP='10.0.0.1'"));
    EXPECT_EQ(t->field("NAME"), "c");
    t->moveNext();
    EXPECT_FALSE(t->find("IP='10.0.0.1'"));
    EXPECT_TRUE(t->eof());
    t->moveFirst();
    EXPECT_FALSE(t->find("IP='10.0.0.9'"));
    EXPECT_THROW(t->find("IP='it's'"), RecordsetError);
}

TEST(RecordsetTakeOver, WidensTheFieldSetKeepingRowsAndClosesTheOld) {
    auto old = makeTable({"date", "time"}, {{"2003-05-01", "00:00:01"}, {"2003-05-02", "x"}});
    std::vector<FieldInfo> fields = {{"date"}, {"time"}, {"cs(Referer)"}};
    auto wide = Recordset::takeOverColumns(*old, fields);
    EXPECT_FALSE(old->isOpen());
    ASSERT_EQ(wide->rowCount(), 2u);
    EXPECT_EQ(wide->value(1, 0), "2003-05-02");
    EXPECT_EQ(wide->value(1, 1), "x");
    EXPECT_EQ(wide->value(1, 2), "");
    wide->addNew();
    wide->setField("cs(Referer)", "http://example.org/");
    wide->update();
    EXPECT_EQ(wide->value(2, 2), "http://example.org/");
    EXPECT_EQ(wide->value(2, 0), "");
}

TEST(RecordsetTakeOver, FromAClosedTableGivesAnEmptyOpenTable) {
    Recordset closed;
    auto t = Recordset::takeOverColumns(closed, {{"date"}, {"a"}});
    EXPECT_TRUE(t->isOpen());
    EXPECT_EQ(t->rowCount(), 0u);
    EXPECT_EQ(t->fieldCount(), 2u);
}

}  // namespace
}  // namespace brevadin
