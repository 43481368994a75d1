#include "logdata/summary.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "logdata/rowquery.h"
#include "tests/support/tables.h"

namespace brevadin {
namespace {

using testing::makeTable;
using testing::Strings;

// One case of tests/data/summary.txt, whose head tells what each key means.
struct Case {
    std::string name;
    Strings fields;
    std::vector<Strings> rows;
    std::vector<uint32_t> shown;
    size_t topN = 0;
    std::string tsv;
};

Strings splitAtTabs(const std::string& s) {
    Strings out(1);
    for (char c : s)
        if (c == '\t')
            out.emplace_back();
        else
            out.back().push_back(c);
    return out;
}

std::vector<Case> readCases() {
    std::vector<Case> cases;
    std::ifstream in(std::string(BREVADIN_TEST_DATA) + "/summary.txt", std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        const std::string key = line.substr(0, line.find(' ')),
                          rest = line.substr(std::min(line.find(' ') + 1, line.size()));
        if (key == "case") cases.emplace_back().name = rest;
        if (key == "fields") cases.back().fields = splitAtTabs(rest);
        if (key == "row") cases.back().rows.push_back(splitAtTabs(rest));
        if (key == "top") cases.back().topN = std::stoul(rest);
        std::istringstream numbers(rest);
        for (uint32_t row; key == "shown" && numbers >> row;) cases.back().shown.push_back(row);
        if (key == "tsv")
            while (std::getline(in, line) && line != "end") cases.back().tsv += line + "\n";
    }
    return cases;
}

TEST(Summary, HandWorkedLogs) {
    const auto cases = readCases();
    ASSERT_EQ(cases.size(), 4u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto t = makeTable(c.fields, c.rows);
        auto s = summarize(*t, c.shown, 9, c.topN);
        ASSERT_TRUE(s);
        EXPECT_TRUE(s->hasMomentField);
        EXPECT_EQ(summaryTsv(*s), c.tsv);
        // Each entry's filter keeps exactly the rows the entry counts.
        for (size_t l = 0; l < kSummaryListCount; ++l) {
            for (const SummaryEntry& e : s->lists[l]) {
                SCOPED_TRACE(e.key);
                ParsedQuery q = parseRowQuery(summaryClause(*t, SummaryList(l), e.key), *t);
                ASSERT_TRUE(q.query);
                EXPECT_EQ(filterRows(*t, c.shown, q.query.get()).size(), e.requests);
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
