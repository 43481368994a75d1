#include "logdata/summary.h"

#include <gtest/gtest.h>

#include "logdata/rowquery.h"
#include "tests/support/tables.h"

namespace brevadin {
namespace {

using testing::makeTable;
using testing::Strings;

// Small logs of each format whose figures were worked out by hand.
struct Case {
    const char* name;
    Strings fields;
    std::vector<Strings> rows;
    std::vector<uint32_t> shown;  // the tab's rows (a filter applied)
    size_t topN;
    const char* tsv;
};

const Case kCases[] = {
    {"W3C: the hidden row, empty hours, '-' bytes",
     {"date", "time", "c-ip", "cs-uri-stem", "sc-status", "sc-bytes", "cs(Referer)",
      "cs(User-Agent)"},
     {{"2003-05-01", "10:15:00", "1.1.1.1", "/a", "200", "100", "-", "UA1"},
      {"2003-05-01", "10:59:59.5", "2.2.2.2", "/b", "404", "-", "http://r/", "UA2"},
      {"2003-05-01", "13:00:00", "1.1.1.1", "/b", "404", "50", "-", "UA1"},
      {"2003-05-01", "15:30:00", "3.3.3.3", "/x", "500", "7", "-", "UA1"}},
     {0, 1, 2},
     20,
     "# totals\nname\tvalue\nrequests\t3\nbytes\t150\nclients\t2\n"
     "first\t2003-05-01 10:15:00\nlast\t2003-05-01 13:00:00\n\n"
     "# requests per hour\nhour\trequests\tbytes\n2003-05-01 10\t2\t100\n"
     "2003-05-01 11\t0\t0\n2003-05-01 12\t0\t0\n2003-05-01 13\t1\t50\n\n"
     "# top clients\nkey\trequests\tbytes\n1.1.1.1\t2\t150\n2.2.2.2\t1\t0\n\n"
     "# top paths\nkey\trequests\tbytes\n/b\t2\t50\n/a\t1\t100\n\n"
     "# top referrers\nkey\trequests\tbytes\n-\t2\t150\nhttp://r/\t1\t0\n\n"
     "# top user agents\nkey\trequests\tbytes\nUA1\t2\t150\nUA2\t1\t0\n\n"
     "# top 404 paths\nkey\trequests\tbytes\n/b\t2\t50\n\n"
     "# status codes\nstatus\trequests\tbytes\n200\t1\t100\n404\t2\t50\n\n"},
    // Dates from three zones land in +09:00 on both sides of midnight; ties
    // go by key and the second place is cut at --top 2.
    {"NCSA: zones into +9, ties",
     {"date", "Host", "Date", "Request", "Status", "Byte", "cs(Referer)", "cs(User-Agent)"},
     {{"", "1.1.1.1", "01/May/2003:14:30:00 +0000", "GET /p?q=1 HTTP/1.1", "200", "10", "-", "A"},
      {"", "2.2.2.2", "01/May/2003:10:10:00 -0500", "GET /p HTTP/1.1", "404", "-", "-", "B"},
      {"", "3.3.3.3", "01/May/2003:15:45:00 +0000", "GET /q HTTP/1.0", "404", "5", "-", "A"},
      {"", "1.1.1.1", "02/May/2003:03:00:00 +0900", "POST /q", "200", "1", "-", "B"}},
     {0, 1, 2, 3},
     2,
     "# totals\nname\tvalue\nrequests\t4\nbytes\t16\nclients\t3\n"
     "first\t2003-05-01 23:30:00\nlast\t2003-05-02 03:00:00\n\n"
     "# requests per hour\nhour\trequests\tbytes\n2003-05-01 23\t1\t10\n"
     "2003-05-02 00\t2\t5\n2003-05-02 01\t0\t0\n2003-05-02 02\t0\t0\n2003-05-02 03\t1\t1\n\n"
     "# top clients\nkey\trequests\tbytes\n1.1.1.1\t2\t11\n2.2.2.2\t1\t0\n\n"
     "# top paths\nkey\trequests\tbytes\n/p\t2\t10\n/q\t2\t6\n\n"
     "# top referrers\nkey\trequests\tbytes\n-\t4\t16\n\n"
     "# top user agents\nkey\trequests\tbytes\nA\t2\t15\nB\t2\t1\n\n"
     "# top 404 paths\nkey\trequests\tbytes\n/p\t1\t0\n/q\t1\t5\n\n"
     "# status codes\nstatus\trequests\tbytes\n200\t2\t11\n404\t2\t5\n\n"},
    {"IIS: moments as written, a query cut off",
     {"ユーザーのIPアドレス", "日付", "時刻", "送信バイト数", "サービスのステータスコード",
      "操作の対象"},
     {{"1.1.1.1", "05/01/03", "23:59:59", "100", "200", "/a.asp?x=1"},
      {"1.1.1.1", "05/02/03", "0:00:00", "0", "500", "/a.asp"}},
     {0, 1},
     20,
     "# totals\nname\tvalue\nrequests\t2\nbytes\t100\nclients\t1\n"
     "first\t2003-05-01 23:59:59\nlast\t2003-05-02 00:00:00\n\n"
     "# requests per hour\nhour\trequests\tbytes\n2003-05-01 23\t1\t100\n2003-05-02 00\t1\t0\n\n"
     "# top clients\nkey\trequests\tbytes\n1.1.1.1\t2\t100\n\n"
     "# top paths\nkey\trequests\tbytes\n/a.asp\t2\t100\n\n"
     "# top referrers\nkey\trequests\tbytes\n\n# top user agents\nkey\trequests\tbytes\n\n"
     "# top 404 paths\nkey\trequests\tbytes\n\n"
     "# status codes\nstatus\trequests\tbytes\n200\t1\t100\n500\t1\t0\n\n"},
    // Logs of two formats in one tab: each row counts through its own fields.
    {"NCSA and IIS gathered",
     {"Host", "Date", "Request", "Status", "Byte", "ユーザーのIPアドレス", "日付", "時刻",
      "送信バイト数", "サービスのステータスコード", "操作の対象"},
     {{"1.1.1.1", "01/May/2003:15:00:00 +0000", "GET /a?x HTTP/1.1", "404", "10"},
      {"", "", "", "", "", "1.1.1.1", "05/02/03", "00:30:00", "5", "404", "/a"}},
     {0, 1},
     20,
     "# totals\nname\tvalue\nrequests\t2\nbytes\t15\nclients\t1\n"
     "first\t2003-05-02 00:00:00\nlast\t2003-05-02 00:30:00\n\n"
     "# requests per hour\nhour\trequests\tbytes\n2003-05-02 00\t2\t15\n\n"
     "# top clients\nkey\trequests\tbytes\n1.1.1.1\t2\t15\n\n"
     "# top paths\nkey\trequests\tbytes\n/a\t2\t15\n\n"
     "# top referrers\nkey\trequests\tbytes\n\n# top user agents\nkey\trequests\tbytes\n\n"
     "# top 404 paths\nkey\trequests\tbytes\n/a\t2\t15\n\n"
     "# status codes\nstatus\trequests\tbytes\n404\t2\t15\n\n"},
};

TEST(Summary, HandWorkedLogs) {
    for (const Case& c : kCases) {
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
