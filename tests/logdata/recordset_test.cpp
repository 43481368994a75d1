#include "logdata/recordset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/support/tables.h"

namespace brevadin {
namespace {

using testing::makeTable;
using testing::Strings;
using testing::visibleColumn;

TEST(RecordsetState, FieldsCursorAndClose) {
    Recordset t;
    t.appendField("date");
    t.appendField("Date");  // names are case-sensitive
    EXPECT_EQ(t.fieldIndex("DATE"), -1);
    EXPECT_THROW(t.appendField("date"), RecordsetError);
    t.open();
    EXPECT_THROW(t.appendField("late"), RecordsetError);

    const std::string probe = "/default.ida?" + std::string(400, 'N') + "%u9090";
    auto u = makeTable({"a", "b"}, {{probe}, {"2", "x"}});
    u->moveFirst();
    EXPECT_EQ(u->field("a"), probe);  // kept whole
    EXPECT_EQ(u->field("b"), "");     // never set
    u->moveNext();
    EXPECT_EQ(u->field("b"), "x");
    u->moveNext();
    EXPECT_TRUE(u->eof());
    EXPECT_THROW(u->moveNext(), RecordsetError);
    EXPECT_THROW(u->field("a"), RecordsetError);
    u->moveFirst();
    EXPECT_THROW(u->field("nope"), RecordsetError);

    u->setFilter("a='2'");
    u->close();
    EXPECT_EQ(u->fieldCount(), 2u);
    EXPECT_THROW(u->setFilter("a='1'"), RecordsetError);
    u->open();
    EXPECT_EQ(u->rowCount(), 0u);
    EXPECT_EQ(u->filter(), "");
    u->moveFirst();
    EXPECT_TRUE(u->eof());
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
    for (size_t i :
         {size_t{0}, size_t{255}, size_t{256}, size_t{65535}, size_t{65536}, size_t{69000}, n - 1})
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

TEST(RecordsetSort, StableOnSeveralKeysByCharacterCodeUnderAFilter) {
    auto t = makeTable({"d", "t", "n"}, {{"2003-05-01", "10:00", "1"},
                                         {"2003-05-02", "09:00", "2"},
                                         {"2003-05-01", "23:00", "3"},
                                         {"2003-05-02", "09:00", "4"},
                                         {"2003-05-01", "10:00", "5"},
                                         {"2003-05-01", "B", "6"},
                                         {"2003-05-01", "\xe3\x81\x82", "7"},
                                         {"2003-05-01", "ab", "8"}});
    const struct {
        const char *filter, *sort;
        Strings order;
    } cases[] = {{"n like '*'", "d DESC, t DESC", {"2", "4", "7", "8", "6", "3", "1", "5"}},
                 {"t like '*b*' or t='B' or t like '*\xe3\x81\x82*'", "t ASC", {"6", "8", "7"}},
                 {"", "n", {"1", "2", "3", "4", "5", "6", "7", "8"}}};
    for (const auto& c : cases) {
        t->setFilter(c.filter);
        t->setSort(c.sort);
        EXPECT_EQ(visibleColumn(*t, "n"), c.order) << c.sort;
    }
    // Rows appended under a filter are judged too, and take their place in the sort.
    t->setFilter("n < 3");
    t->setSort("");
    ASSERT_EQ(visibleColumn(*t, "n"), Strings({"1", "2"}));
    const auto append = [&](const char* n) {
        uint32_t ids[3] = {0, 0, t->column(2).intern(n)};
        t->appendRowIds(ids);
    };
    append("9");
    append("0");
    EXPECT_EQ(visibleColumn(*t, "n"), Strings({"1", "2", "0"}));
    t->setSort("n");
    append("-1");
    EXPECT_EQ(visibleColumn(*t, "n"), Strings({"-1", "0", "1", "2"}));
    EXPECT_THROW(t->setSort("nope DESC"), RecordsetError);
}

TEST(RecordsetSort, ManyKeysBeyondOnePackedIntegerMatchAReferenceSort) {
    // 33 keys of three values each need 66 bits: the sort must fall back
    // from packed keys and still agree with a plain stable sort.
    Strings names;
    std::string order;
    for (int i = 0; i < 33; ++i) {
        names.push_back("f" + std::to_string(i));
        order += (i ? ", " : "") + names.back() + (i % 2 ? " DESC" : "");
    }
    std::mt19937 rng(7);
    std::vector<Strings> rows(400);
    for (auto& r : rows)
        for (int i = 0; i < 33; ++i) r.emplace_back(1, static_cast<char>('a' + rng() % 3));
    auto t = makeTable(names, rows);
    t->setSort(order);
    std::vector<size_t> expect(rows.size());
    for (size_t i = 0; i < expect.size(); ++i) expect[i] = i;
    std::stable_sort(expect.begin(), expect.end(), [&](size_t a, size_t b) {
        for (int i = 0; i < 33; ++i)
            if (rows[a][i] != rows[b][i])
                return i % 2 ? rows[a][i] > rows[b][i] : rows[a][i] < rows[b][i];
        return false;
    });
    for (size_t i = 0; i < expect.size(); ++i) ASSERT_EQ(t->viewRow(i), expect[i]) << i;
}

TEST(RecordsetFind, SearchesForwardFromTheCurrentRow) {
    auto t = makeTable({"IP", "NAME"}, {{"10.0.0.1", "a"}, {"10.0.0.2", "b"}, {"10.0.0.1", "c"}});
    t->moveFirst();
    for (const char* name : {"a", "c"}) {
        EXPECT_TRUE(t->find("IP='10.0.0.1'"));
        EXPECT_EQ(t->field("NAME"), name);
        t->moveNext();
    }
    EXPECT_FALSE(t->find("IP='10.0.0.1'"));
    EXPECT_TRUE(t->eof());
    t->moveFirst();
    EXPECT_FALSE(t->find("IP='10.0.0.9'"));
    EXPECT_THROW(t->find("IP='it's'"), RecordsetError);
}

TEST(RecordsetTakeOver, WidensTheFieldSetKeepingRowsAndClosesTheOld) {
    auto old = makeTable({"date", "time"}, {{"2003-05-01", "00:00:01"}, {"2003-05-02", "x"}});
    auto wide = Recordset::takeOverColumns(*old, {{"date"}, {"time"}, {"cs(Referer)"}});
    EXPECT_FALSE(old->isOpen());
    wide->addNew();
    wide->setField("cs(Referer)", "http://example.org/");
    wide->update();
    EXPECT_EQ(visibleColumn(*wide, "time"), Strings({"00:00:01", "x", ""}));
    EXPECT_EQ(visibleColumn(*wide, "cs(Referer)"), Strings({"", "", "http://example.org/"}));

    Recordset closed;
    auto t = Recordset::takeOverColumns(closed, {{"date"}, {"a"}});
    EXPECT_TRUE(t->isOpen());
    EXPECT_EQ(t->rowCount(), 0u);
    EXPECT_EQ(t->fieldCount(), 2u);
}

}  // namespace
}  // namespace brevadin
