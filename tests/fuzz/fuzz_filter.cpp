// The record table's filter, find and sort parsers.
//
// The input is up to three lines: a filter, a find criterion and a sort. A
// text outside the language must raise RecordsetError and change nothing;
// anything else thrown is a fault. Accepted texts are checked against each
// other: a filter in parentheses, or joined to itself by " or ", shows the
// same rows, "not (E)" the others, "E and E" the same; the row query agrees
// with the table's own filter; find lands on the first row of the view that
// the criterion, used as a filter, would keep, and a find of the criterion's
// text lands on a cell holding it; a sort, typed or not, shows the same rows
// in some order.

#include <algorithm>
#include <string>
#include <vector>

#include "logdata/recordset.h"
#include "logdata/rowquery.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using namespace brevadin;

std::shared_ptr<Recordset> makeTable() {
    auto t = std::make_shared<Recordset>();
    for (const char* name : {"date", "time", "c-ip", "cs-uri-stem", "sc-status", "cs(User-Agent)"})
        t->appendField(name);
    t->open();
    static const char* const kIps[] = {"192.0.2.1", "192.0.2.10", "2001:db8::1", "",
                                       "198.51.100.7"};
    static const char* const kStems[] = {"/index.html", "/a b/it's.gif", "/検索.asp", "*",
                                         "%",           "/x'y''z",       "/"};
    static const char* const kAgents[] = {"Mozilla/4.0", "", "Googlebot", "日本語 エージェント"};
    for (int i = 0; i < 40; ++i) {
        t->addNew();
        t->setField("date", i % 3 ? "2003-05-01" : "2003-05-02");
        t->setField("time", std::to_string(10 + i % 7) + ":00:0" + std::to_string(i % 10));
        t->setField("c-ip", kIps[i % 5]);
        t->setField("cs-uri-stem", kStems[i % 7]);
        t->setField("sc-status", std::to_string(200 + (i % 4) * 100));
        t->setField("cs(User-Agent)", kAgents[i % 4]);
        t->update();
    }
    return t;
}

std::vector<uint32_t> sorted(std::vector<uint32_t> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// Applies text as the filter; false (with nothing changed) when refused.
bool tryFilter(Recordset& t, std::string_view text) {
    const std::string before = t.filter();
    const size_t rows = t.rowCount();
    try {
        t.setFilter(text);
        return true;
    } catch (const RecordsetError&) {
        if (t.filter() != before || t.rowCount() != rows)
            fuzz::broken("a refused filter changed the view", text);
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::shared_ptr<Recordset> table = makeTable();
    Recordset& t = *table;
    t.setFilter("");
    t.setSort("");

    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view parts[3];
    for (auto& part : parts) {
        const size_t nl = input.find('\n');
        part = input.substr(0, nl);
        input = nl == std::string_view::npos ? std::string_view() : input.substr(nl + 1);
    }
    const std::string_view filter = parts[0], criterion = parts[1], sort = parts[2];

    if (!tryFilter(t, filter)) return 0;
    const std::vector<uint32_t> view = t.view();
    if (view.size() > t.storedRowCount()) fuzz::broken("more rows than stored");

    if (filter.size() < 2000) {
        const std::string grouped = "(" + std::string(filter) + ")";
        if (!filter.empty() && tryFilter(t, grouped) && sorted(t.view()) != sorted(view))
            fuzz::broken("parentheses changed the rows", filter);
        const std::string doubled = std::string(filter) + " or " + std::string(filter);
        if (!filter.empty() && tryFilter(t, doubled) && sorted(t.view()) != sorted(view))
            fuzz::broken("E or E differs from E", filter);
        const std::string negated = "not (" + std::string(filter) + ")";
        if (!filter.empty() && tryFilter(t, negated) &&
            t.view().size() + view.size() != t.storedRowCount())
            fuzz::broken("not E and E overlap or leave rows out", filter);
        const std::string twice = std::string(filter) + " and " + std::string(filter);
        if (!filter.empty() && tryFilter(t, twice) && sorted(t.view()) != sorted(view))
            fuzz::broken("E and E differs from E", filter);
        t.setFilter(filter);
    }
    std::vector<uint32_t> all(t.storedRowCount());
    for (uint32_t r = 0; r < all.size(); ++r) all[r] = r;
    ParsedQuery q = parseRowQuery(filter, t);
    if (q.error || (q.query && filterRows(t, all, q.query.get()) != sorted(view)))
        fuzz::broken("the row query and the table's filter disagree", filter);
    std::vector<uint32_t> typed = view;
    for (size_t c = 0; c < t.fieldCount(); c += 1 + criterion.size() % 3)
        sortRowsTyped(t, typed, {{c, criterion.size() % 2 == 1}});
    if (sorted(typed) != sorted(view)) fuzz::broken("the typed sort changed the rows", criterion);
    bool wrapped = false;
    if (auto at = findCell(t, view, criterion, true, CellPosition{}, true, &wrapped)) {
        if (t.value(view[at->viewRow], at->column).find(criterion) == std::string_view::npos)
            fuzz::broken("find landed on a cell without the text", criterion);
    }

    // find from the first row of the filtered view.
    bool found = false;
    size_t foundRow = 0;
    if (!view.empty()) {
        t.moveFirst();
        try {
            found = t.find(criterion);
            if (found != !t.eof()) fuzz::broken("find's result and the cursor disagree", criterion);
            if (found) foundRow = t.currentRow();
            if (sorted(t.view()) != sorted(view)) fuzz::broken("find changed the view", criterion);
            // The same comparison as a filter over the whole table.
            t.setFilter("");
            if (tryFilter(t, criterion)) {
                const std::vector<uint32_t> matching = sorted(t.view());
                auto first = std::find_if(view.begin(), view.end(), [&](uint32_t r) {
                    return std::binary_search(matching.begin(), matching.end(), r);
                });
                if ((first != view.end()) != found || (found && *first != foundRow))
                    fuzz::broken("find and the filter disagree", criterion);
            }
            t.setFilter(filter);
        } catch (const RecordsetError&) {
        }
    }

    try {
        t.setSort(sort);
        if (sorted(t.view()) != sorted(view)) fuzz::broken("the sort changed the rows", sort);
    } catch (const RecordsetError&) {
    }
    return 0;
}
