#include "logdata/summary.h"

#include <gtest/gtest.h>

#include <sstream>

#include "logdata/rowquery.h"
#include "tests/support/datacases.h"
#include "tests/support/tables.h"

namespace brevadin {
namespace {

using testing::makeTable;
using testing::Strings;

TEST(Summary, HandWorkedLogs) {
    const auto cases =
        testing::readDataCases("summary.txt", {"fields", "row", "shown", "top", "tsv"}, {"tsv"});
    ASSERT_EQ(cases.size(), 5u);
    for (const auto& c : cases) {  // the file's head tells what each key means
        SCOPED_TRACE(c.what);
        std::vector<Strings> rows;
        for (const auto& row : c.all("row")) rows.push_back(testing::splitAt(row, '\t'));
        std::vector<uint32_t> shown;
        std::istringstream numbers(c.get("shown").value());
        for (uint32_t row; numbers >> row;) shown.push_back(row);
        auto t = makeTable(testing::splitAt(c.get("fields").value(), '\t'), rows);
        auto s = summarize(*t, shown, 9, std::stoul(c.get("top").value()));
        ASSERT_TRUE(s);
        EXPECT_TRUE(s->hasMomentField);
        EXPECT_EQ(summaryTsv(*s), c.get("tsv"));
        // Each entry's filter keeps exactly the rows the entry counts.
        for (size_t l = 0; l < kSummaryListCount; ++l) {
            for (const SummaryEntry& e : s->lists[l]) {
                SCOPED_TRACE(e.key);
                ParsedQuery q = parseRowQuery(summaryClause(*t, SummaryList(l), e.key), *t);
                ASSERT_TRUE(q.query);
                EXPECT_EQ(filterRows(*t, shown, q.query.get()).size(), e.requests);
            }
        }
    }
}

TEST(Summary, NoMomentFieldAndCancel) {
    auto t = makeTable({"c-ip", "sc-status"}, {{"1.1.1.1", "200"}, {"", "200"}});
    auto s = summarize(*t, {0, 1}, 0, 20);
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->hasMomentField);
    EXPECT_FALSE(s->first);
    EXPECT_TRUE(s->hours.empty());
    EXPECT_EQ(s->clients, 1u);  // an empty client is nobody
    EXPECT_FALSE(summarize(*t, {0, 1}, 0, 20, [] { return true; }));
}

}  // namespace
}  // namespace brevadin
