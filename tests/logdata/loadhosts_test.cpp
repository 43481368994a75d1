// Client addresses during a load.

#include <gtest/gtest.h>

#include "logdata/logreader.h"
#include "tests/support/loadfakes.h"
#include "tests/support/tables.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::FakeHosts;
using testing::TempFolder;
using testing::TestContext;
using Strings = std::vector<std::string>;

const char kLog[] =
    "#Fields: c-ip cs-uri-stem\n"
    "192.0.2.1 /\n"
    "192.0.2.1 /a\n"
    "127.0.0.1 /b\n"
    "192.0.2.1 /c\n"
    "198.51.100.7 /d\n"
    "127.0.0.1 /e\n";

// 127.0.0.1 is known at once, 192.0.2.1 once the lookups finish, the rest never.
TEST(Hosts, EachAddressIsAskedOnceAndEveryRowGetsItsDisplayText) {
    const std::string L = "Local Host [127.0.0.1]", A = "a.example.jp [192.0.2.1]";
    const std::string uA = "Unknown [192.0.2.1]", u7 = "Unknown [198.51.100.7]";
    const std::string fail = "#Fields: c-ip\n192.0.2.1\n127.0.0.1 extra\n";
    const std::string before =
        "#Fields: cs-uri-stem\n/x\n#Fields: cs-uri-stem c-ip\n/y 127.0.0.1\n/z\n";
    const struct {
        std::string text;
        int64_t cancelAfter;    // the progress call that cancels, -1: none
        bool late;              // 198.51.100.7 resolves too, so the wait reports progress
        bool loads, cancelNow;  // what the lookups were finished with
        std::string lastProgress;
        Strings rows;  // every row's c-ip afterwards
    } cases[] = {
        {kLog, -1, false, true, false, "", {A, A, L, A, u7, L}},
        // Cancelled while reading: unfinished lookups give Unknown.
        {kLog, 4, false, false, true, "", {uA, uA, L}},
        // Six lines and the header report progress; the wait reports next.
        {kLog, 8, true, false, false, "ex.log のホスト名を解決中", {uA, uA, L, uA, u7, L}},
        // A failed load still gives its kept rows their texts.
        {fail, -1, false, false, true, "", {uA}},
        // Rows from before the address field keep the empty text; the last
        // row was added while the field existed, so it is looked up too.
        {before, -1, false, true, false, "", {"", L, "Unknown []"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        TempFolder dir;
        TestContext t;
        FakeHosts hosts;
        hosts.known["127.0.0.1"] = "Local Host";
        hosts.later["192.0.2.1"] = "a.example.jp";
        if (c.late) hosts.later["198.51.100.7"] = "b.example.jp";
        t.ctx.hosts = &hosts;
        t.progress.cancelAfter = c.cancelAfter;
        RecordsetPtr table;
        EXPECT_EQ(fncGetRecordsetFromLog(dir.write("ex.log", c.text), table, kLogTypeW3c, t.ctx) !=
                      nullptr,
                  c.loads);
        for (const auto& [address, times] : hosts.asked) EXPECT_EQ(times, 1) << address;
        EXPECT_EQ(hosts.finishCalls, 1);
        EXPECT_EQ(hosts.lastCancelNow, c.cancelNow);
        EXPECT_EQ(t.progress.lastMessage.find(c.lastProgress), 0u) << t.progress.lastMessage;
        ASSERT_TRUE(table);
        EXPECT_EQ(testing::visibleColumn(*table, "c-ip"), c.rows);
    }
}

}  // namespace
}  // namespace brevadin
