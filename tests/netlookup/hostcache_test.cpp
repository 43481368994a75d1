#include "netlookup/hostcache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "export/xmlconv.h"
#include "testsupport.h"

namespace brevadin {
namespace {

using namespace std::chrono_literals;
using nettest::FakeResolver;
using nettest::TempDir;

struct Row {
    std::string ip, name, updated, created;
};

// The rows of a stored cache file, in file order.
std::vector<Row> storedRows(const std::string& path) {
    std::vector<Row> rows;
    RecordsetPtr table = fncGetRecordsetFromXml(path);
    if (!table) return rows;
    const int ip = table->fieldIndex("IP");
    const int name = table->fieldIndex("NAME");
    const int updated = table->fieldIndex("UPDATED");
    const int created = table->fieldIndex("CREATED");
    if (ip < 0 || name < 0 || updated < 0 || created < 0) return rows;
    for (size_t i = 0; i < table->rowCount(); ++i) {
        size_t r = table->viewRow(i);
        rows.push_back({std::string(table->value(r, ip)), std::string(table->value(r, name)),
                        std::string(table->value(r, updated)),
                        std::string(table->value(r, created))});
    }
    return rows;
}

// Writes a cache file holding the given rows, as a hand-edited or older file would.
void writeCacheFile(const std::string& path, const std::vector<Row>& rows) {
    Recordset table;
    table.appendField("IP", FieldType::NarrowText, 50);
    table.appendField("NAME", FieldType::NarrowText, 255);
    table.appendField("UPDATED", FieldType::DateTime);
    table.appendField("CREATED", FieldType::DateTime);
    table.open();
    for (const auto& row : rows) {
        size_t r = table.appendRow();
        table.setValue(r, 0, row.ip);
        table.setValue(r, 1, row.name);
        table.setValue(r, 2, row.updated);
        table.setValue(r, 3, row.created);
    }
    std::string error;
    ASSERT_TRUE(fncSaveRecordsetToXml(table, path, &error)) << error;
}

std::map<std::string, std::string> byAddress(const std::vector<HostLookup::Resolved>& list) {
    std::map<std::string, std::string> out;
    for (const auto& r : list) out[r.address] = r.name;
    return out;
}

bool noProgressCancel(size_t, size_t) {
    return false;
}

class HostCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.ok());
        path_ = dir_.file("hosts.xml");
    }

    TempDir dir_;
    std::string path_;
    std::shared_ptr<FakeResolver> fake_ = std::make_shared<FakeResolver>();
};

// --- fresh cache and the loop-back row -------------------------------------

TEST_F(HostCacheTest, MissingFileGivesFreshFileWithOnlyTheLoopbackRow) {
    HostCache cache(fake_);
    std::string error = "untouched";
    EXPECT_EQ(cache.load(path_, &error), HostCache::LoadResult::Created);
    EXPECT_EQ(error, "");

    auto rows = storedRows(path_);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].ip, "127.0.0.1");
    EXPECT_EQ(rows[0].name, "Local Host");
    EXPECT_TRUE(std::regex_match(rows[0].updated, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)")))
        << rows[0].updated;
    EXPECT_EQ(rows[0].updated, rows[0].created);

    RecordsetPtr raw = fncGetRecordsetFromXml(path_);
    ASSERT_TRUE(raw);
    ASSERT_EQ(raw->fieldCount(), 4u);
    EXPECT_EQ(raw->fields()[0].name, "IP");
    EXPECT_EQ(raw->fields()[1].name, "NAME");
    EXPECT_EQ(raw->fields()[2].name, "UPDATED");
    EXPECT_EQ(raw->fields()[3].name, "CREATED");
    EXPECT_EQ(raw->fields()[0].type, FieldType::NarrowText);
    EXPECT_EQ(raw->fields()[2].type, FieldType::DateTime);
}

TEST_F(HostCacheTest, LoopbackIsKnownWithoutAnyQueryOnAFreshCache) {
    HostCache cache(fake_);
    cache.load(path_);
    std::string name;
    EXPECT_TRUE(cache.findOrStart("127.0.0.1", name));
    EXPECT_EQ(name, "Local Host");
    EXPECT_EQ(cache.fncGetHostName("127.0.0.1"), "Local Host [127.0.0.1]");
    EXPECT_TRUE(cache.finishLookups(noProgressCancel, false).empty());
    EXPECT_EQ(fake_->totalCalls(), 0);
    EXPECT_EQ(cache.table().storedRowCount(), 1u);
}

TEST_F(HostCacheTest, FncCreateHostCacheReportsAFailedWriteButStillServes) {
    std::string error;
    RecordsetPtr table = fncCreateHostCache(dir_.file("no-such-dir/hosts.xml"), &error);
    EXPECT_FALSE(error.empty());
    ASSERT_TRUE(table);
    EXPECT_TRUE(table->isOpen());
    EXPECT_EQ(table->storedRowCount(), 1u);
}

// --- one query per distinct address ----------------------------------------

TEST_F(HostCacheTest, SameNewAddressTwiceInALoadIsQueriedOnceAndStoredOnce) {
    fake_->answer("192.0.2.10", "www.example.net");
    HostCache cache(fake_);
    cache.load(path_);

    std::string name;
    EXPECT_FALSE(cache.findOrStart("192.0.2.10", name));
    EXPECT_FALSE(cache.findOrStart("192.0.2.10", name));
    EXPECT_EQ(cache.pendingCount(), 1u);

    auto resolved = cache.finishLookups(noProgressCancel, false);
    ASSERT_EQ(resolved.size(), 1u);
    EXPECT_EQ(resolved[0].address, "192.0.2.10");
    EXPECT_EQ(resolved[0].name, "www.example.net");
    EXPECT_EQ(cache.pendingCount(), 0u);

    // Known now: answered at once, also through the blocking form.
    EXPECT_TRUE(cache.findOrStart("192.0.2.10", name));
    EXPECT_EQ(name, "www.example.net");
    EXPECT_EQ(cache.fncGetHostName("192.0.2.10"), "www.example.net [192.0.2.10]");
    EXPECT_EQ(fake_->calls("192.0.2.10"), 1);
    EXPECT_EQ(cache.table().storedRowCount(), 2u);
}

TEST_F(HostCacheTest, BlockingFormQueriesOnceAndAddsOneRow) {
    fake_->answer("198.51.100.7", "mail.example.org");
    HostCache cache(fake_);
    cache.load(path_);
    EXPECT_EQ(cache.fncGetHostName("198.51.100.7"), "mail.example.org [198.51.100.7]");
    EXPECT_EQ(cache.fncGetHostName("198.51.100.7"), "mail.example.org [198.51.100.7]");
    EXPECT_EQ(fake_->calls("198.51.100.7"), 1);
    ASSERT_EQ(cache.table().storedRowCount(), 2u);
    EXPECT_EQ(cache.table().value(1, 0), "198.51.100.7");
    EXPECT_EQ(cache.table().value(1, 1), "mail.example.org");
    EXPECT_EQ(cache.table().value(1, 2), cache.table().value(1, 3));
}

TEST_F(HostCacheTest, BlockingFormOnAnAddressAlreadyPendingSharesTheQuery) {
    fake_->answer("203.0.113.5", "shared.example");
    HostCache cache(fake_);
    cache.load(path_);
    std::string name;
    EXPECT_FALSE(cache.findOrStart("203.0.113.5", name));
    EXPECT_EQ(cache.fncGetHostName("203.0.113.5"), "shared.example [203.0.113.5]");

    // The load that asked first still hears of it, and no second row appears.
    auto resolved = byAddress(cache.finishLookups(noProgressCancel, false));
    EXPECT_EQ(resolved["203.0.113.5"], "shared.example");
    EXPECT_EQ(fake_->calls("203.0.113.5"), 1);
    EXPECT_EQ(cache.table().storedRowCount(), 2u);
}

TEST_F(HostCacheTest, KeysAreTheExactTextOfTheAddress) {
    fake_->answer("192.0.2.1", "one.example");
    fake_->answer(" 192.0.2.1", "spaced.example");
    HostCache cache(fake_);
    cache.load(path_);
    EXPECT_EQ(cache.fncGetHostName("192.0.2.1"), "one.example [192.0.2.1]");
    EXPECT_EQ(cache.fncGetHostName(" 192.0.2.1"), "spaced.example [ 192.0.2.1]");
    EXPECT_EQ(fake_->totalCalls(), 2);
}

// --- failed lookups ------------------------------------------------------------

TEST_F(HostCacheTest, FailedAndBlankLookupsAreUnknownAndSurviveARestartWithoutNewQuery) {
    fake_->answer("192.0.2.20", "");
    fake_->answer("192.0.2.21", "   \t ");
    fake_->answer("192.0.2.22", " padded.example ");  // not blank: kept as returned
    {
        HostCache cache(fake_);
        cache.load(path_);
        EXPECT_EQ(cache.fncGetHostName("192.0.2.20"), "Unknown [192.0.2.20]");
        std::string name;
        EXPECT_FALSE(cache.findOrStart("192.0.2.21", name));
        EXPECT_FALSE(cache.findOrStart("192.0.2.22", name));
        auto resolved = byAddress(cache.finishLookups(noProgressCancel, false));
        EXPECT_EQ(resolved["192.0.2.21"], "Unknown");
        EXPECT_EQ(resolved["192.0.2.22"], " padded.example ");
        std::string error;
        ASSERT_TRUE(cache.save(path_, &error)) << error;
    }

    auto again = std::make_shared<FakeResolver>();
    HostCache cache(again);
    EXPECT_EQ(cache.load(path_), HostCache::LoadResult::Loaded);
    EXPECT_EQ(cache.fncGetHostName("192.0.2.20"), "Unknown [192.0.2.20]");
    EXPECT_EQ(cache.fncGetHostName("192.0.2.21"), "Unknown [192.0.2.21]");
    EXPECT_EQ(cache.fncGetHostName("192.0.2.22"), " padded.example  [192.0.2.22]");
    EXPECT_EQ(again->totalCalls(), 0);
}

TEST_F(HostCacheTest, AResolverThatThrowsCountsAsAFailedLookup) {
    struct Throwing : Resolver {
        std::string reverseLookup(const std::string&) override {
            throw std::runtime_error("resolver broke");
        }
    };
    HostCache cache(std::make_shared<Throwing>());
    cache.load(path_);
    EXPECT_EQ(cache.fncGetHostName("192.0.2.30"), "Unknown [192.0.2.30]");
}

// --- addresses that are not plain addresses --------------------------------

TEST_F(HostCacheTest, AddressesWithQuotesAndFilterCharactersAreOrdinaryKeys) {
    const std::vector<std::string> odd = {"10.0.0.1'", "a'b", "x' or IP like '*", "'", "[::1]"};
    {
        HostCache cache(fake_);
        cache.load(path_);
        for (const auto& a : odd) fake_->answer(a, "odd-" + std::to_string(a.size()));
        std::string name;
        for (const auto& a : odd) EXPECT_FALSE(cache.findOrStart(a, name)) << a;
        auto resolved = byAddress(cache.finishLookups(noProgressCancel, false));
        ASSERT_EQ(resolved.size(), odd.size());
        for (const auto& a : odd) EXPECT_EQ(resolved[a], "odd-" + std::to_string(a.size()));
        // The loop-back row is not matched by any of them.
        EXPECT_EQ(cache.fncGetHostName("127.0.0.1"), "Local Host [127.0.0.1]");
        ASSERT_TRUE(cache.save(path_));
    }
    auto again = std::make_shared<FakeResolver>();
    HostCache cache(again);
    ASSERT_EQ(cache.load(path_), HostCache::LoadResult::Loaded);
    for (const auto& a : odd) {
        EXPECT_EQ(cache.fncGetHostName(a), hostDisplayText("odd-" + std::to_string(a.size()), a));
    }
    EXPECT_EQ(again->totalCalls(), 0);
}

// --- parallel lookups -------------------------------------------------------------

TEST_F(HostCacheTest, ManyDistinctAddressesAreResolvedInParallelAndEachOnce) {
    fake_->setDelay(100ms);
    HostCache cache(fake_);
    cache.load(path_);
    std::vector<std::string> addresses;
    for (int i = 0; i < 300; ++i) {
        std::string a = "10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256);
        addresses.push_back(a);
        fake_->answer(a, "h" + std::to_string(i) + ".example");
    }
    std::string name;
    for (const auto& a : addresses) EXPECT_FALSE(cache.findOrStart(a, name));
    for (const auto& a : addresses) EXPECT_FALSE(cache.findOrStart(a, name));  // asked again

    size_t lastDone = 0;
    bool monotonic = true;
    auto resolved = cache.finishLookups(
        [&](size_t done, size_t total) {
            EXPECT_EQ(total, addresses.size());
            if (done < lastDone) monotonic = false;
            lastDone = done;
            return false;
        },
        false);
    EXPECT_TRUE(monotonic);

    ASSERT_EQ(resolved.size(), addresses.size());
    // Rows and results keep the order the addresses were first asked for.
    for (size_t i = 0; i < addresses.size(); ++i) {
        EXPECT_EQ(resolved[i].address, addresses[i]);
        EXPECT_EQ(resolved[i].name, "h" + std::to_string(i) + ".example");
        EXPECT_EQ(cache.table().value(i + 1, 0), addresses[i]);
        EXPECT_EQ(fake_->calls(addresses[i]), 1);
    }
    EXPECT_GT(fake_->peakInFlight(), 32);
    EXPECT_LE(fake_->peakInFlight(), 64);
    EXPECT_EQ(cache.table().storedRowCount(), addresses.size() + 1);
}

TEST_F(HostCacheTest, ConcurrencyStaysWithinTheConfiguredBound) {
    fake_->setDelay(30ms);
    HostCacheOptions options;
    options.maxInFlight = 4;
    HostCache cache(fake_, options);
    cache.load(path_);
    std::string name;
    for (int i = 0; i < 40; ++i) cache.findOrStart("10.2.0." + std::to_string(i), name);
    EXPECT_EQ(cache.finishLookups(noProgressCancel, false).size(), 40u);
    EXPECT_EQ(fake_->peakInFlight(), 4);
}

// --- time-out -----------------------------------------------------------------------

TEST_F(HostCacheTest, AHungLookupTimesOutAsUnknownAndFreesItsSlot) {
    fake_->hang("192.0.2.99");
    fake_->answer("192.0.2.100", "after.example");
    HostCacheOptions options;
    options.maxInFlight = 1;  // the second lookup can only run once the hung one lets go
    options.lookupTimeout = 200ms;
    options.progressInterval = 20ms;
    HostCache cache(fake_, options);
    cache.load(path_);

    std::string name;
    cache.findOrStart("192.0.2.99", name);
    cache.findOrStart("192.0.2.100", name);
    int reports = 0;
    auto resolved = byAddress(cache.finishLookups(
        [&](size_t, size_t) {
            ++reports;
            return false;
        },
        false));
    EXPECT_EQ(resolved["192.0.2.99"], "Unknown");
    EXPECT_EQ(resolved["192.0.2.100"], "after.example");
    EXPECT_GE(reports, 5);  // 200 ms of waiting reported every 20 ms

    // The time-out is remembered like any failed lookup.
    EXPECT_EQ(cache.fncGetHostName("192.0.2.99"), "Unknown [192.0.2.99]");
    EXPECT_EQ(fake_->calls("192.0.2.99"), 1);
    EXPECT_EQ(fake_->inFlight(), 1);  // still blocked in the resolver

    fake_->release();
    EXPECT_TRUE(fake_->waitIdle());
    EXPECT_EQ(cache.fncGetHostName("192.0.2.99"), "Unknown [192.0.2.99]");
}

TEST_F(HostCacheTest, BlockingFormGivesUpOnAHungLookupToo) {
    fake_->hang("192.0.2.98");
    HostCacheOptions options;
    options.lookupTimeout = 100ms;
    HostCache cache(fake_, options);
    cache.load(path_);
    EXPECT_EQ(cache.fncGetHostName("192.0.2.98"), "Unknown [192.0.2.98]");
    fake_->release();
    EXPECT_TRUE(fake_->waitIdle());
}

// --- cancel ---------------------------------------------------------------------------

TEST_F(HostCacheTest, CancelStopsAtOnceAndKeepsNothingUnfinished) {
    fake_->answer("192.0.2.50", "quick.example");
    for (int i = 0; i < 5; ++i) fake_->hang("192.0.2.6" + std::to_string(i));
    HostCache cache(fake_);
    cache.load(path_);

    std::string name;
    cache.findOrStart("192.0.2.50", name);
    for (int i = 0; i < 5; ++i) cache.findOrStart("192.0.2.6" + std::to_string(i), name);
    int reports = 0;
    auto resolved = cache.finishLookups(
        [&](size_t done, size_t total) {
            ++reports;
            EXPECT_EQ(total, 6u);
            return done >= 1;  // the user cancels once the quick one is in
        },
        false);

    // The finished lookup is kept; the hung ones are neither returned nor stored.
    ASSERT_EQ(resolved.size(), 1u);
    EXPECT_EQ(resolved[0].address, "192.0.2.50");
    EXPECT_EQ(cache.table().storedRowCount(), 2u);
    EXPECT_EQ(cache.pendingCount(), 0u);
    EXPECT_GE(reports, 1);

    // Still usable: a later load asks again for what was dropped.
    EXPECT_FALSE(cache.findOrStart("192.0.2.60", name));
    fake_->answer("192.0.2.60", "late.example");
    fake_->release();
    auto later = byAddress(cache.finishLookups(noProgressCancel, false));
    EXPECT_EQ(later["192.0.2.60"], "late.example");
    EXPECT_EQ(fake_->calls("192.0.2.60"), 2);
    EXPECT_EQ(cache.fncGetHostName("192.0.2.61"), "Unknown [192.0.2.61]");
    EXPECT_TRUE(fake_->waitIdle());
}

TEST_F(HostCacheTest, CancelNowReturnsWithoutWaitingOrReporting) {
    fake_->hangEverything();
    HostCache cache(fake_);
    cache.load(path_);
    std::string name;
    cache.findOrStart("192.0.2.70", name);
    cache.findOrStart("192.0.2.71", name);
    bool reported = false;
    auto resolved = cache.finishLookups(
        [&](size_t, size_t) {
            reported = true;
            return false;
        },
        true);
    EXPECT_TRUE(resolved.empty());
    EXPECT_FALSE(reported);
    EXPECT_EQ(cache.table().storedRowCount(), 1u);
    fake_->release();
    EXPECT_TRUE(fake_->waitIdle());
}

TEST_F(HostCacheTest, CacheCanBeDestroyedWhileAWorkerIsStillBlocked) {
    fake_->hang("192.0.2.80");
    fake_->answer("192.0.2.80", "too-late.example");
    {
        HostCache cache(fake_);
        cache.load(path_);
        std::string name;
        cache.findOrStart("192.0.2.80", name);
        cache.findOrStart("192.0.2.81", name);  // still queued or running
        auto resolved = cache.finishLookups([](size_t, size_t) { return true; }, false);
        EXPECT_EQ(byAddress(resolved).count("192.0.2.80"), 0u);
        cache.findOrStart("192.0.2.80", name);  // a second, also blocked, query
    }
    // The workers come back to a cache that is gone and end quietly.
    fake_->release();
    EXPECT_TRUE(fake_->waitIdle());
    EXPECT_LE(fake_->calls("192.0.2.80"), 2);
}

// --- load and save -------------------------------------------------------------------

TEST_F(HostCacheTest, SaveWritesNewestFirstWithUpdatedEqualToCreated) {
    writeCacheFile(path_,
                   {
                       {"192.0.2.1", "old-b", "2005-06-01T12:00:00", "2005-06-01T12:00:00"},
                       {"192.0.2.2", "old-a", "2010-01-01T00:00:00", "2010-01-01T00:00:00"},
                       {"127.0.0.1", "Local Host", "2001-01-01T00:00:00", "2001-01-01T00:00:00"},
                   });
    fake_->answer("198.51.100.1", "new1.example");
    fake_->answer("198.51.100.2", "new2.example");
    HostCache cache(fake_);
    ASSERT_EQ(cache.load(path_), HostCache::LoadResult::Loaded);
    cache.fncGetHostName("198.51.100.1");
    cache.fncGetHostName("198.51.100.2");
    std::string error;
    ASSERT_TRUE(cache.save(path_, &error)) << error;

    auto rows = storedRows(path_);
    ASSERT_EQ(rows.size(), 5u);
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_GE(rows[i - 1].updated, rows[i].updated) << "row " << i;
    }
    EXPECT_EQ(rows[2].ip, "192.0.2.2");
    EXPECT_EQ(rows[3].ip, "192.0.2.1");
    EXPECT_EQ(rows[4].ip, "127.0.0.1");
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(rows[i].updated, rows[i].created);
        EXPECT_EQ(rows[i].ip.substr(0, 11), "198.51.100.");
    }
    // Lookups keep working after the save re-ordered the table.
    EXPECT_EQ(cache.fncGetHostName("192.0.2.1"), "old-b [192.0.2.1]");
    EXPECT_EQ(fake_->totalCalls(), 2);
}

TEST_F(HostCacheTest, LoadedRowsAreTakenAsTheyAreAndTheFirstDuplicateWins) {
    writeCacheFile(
        path_, {
                   {"192.0.2.5", "first.example", "2020-01-01T00:00:00", "2020-01-01T00:00:00"},
                   {"192.0.2.5", "second.example", "2021-01-01T00:00:00", "2021-01-01T00:00:00"},
                   {"127.0.0.1", "my own box", "2020-01-01T00:00:00", "2020-01-01T00:00:00"},
               });
    HostCache cache(fake_);
    ASSERT_EQ(cache.load(path_), HostCache::LoadResult::Loaded);
    EXPECT_EQ(cache.table().storedRowCount(), 3u);
    EXPECT_EQ(cache.fncGetHostName("192.0.2.5"), "first.example [192.0.2.5]");
    EXPECT_EQ(cache.fncGetHostName("127.0.0.1"), "my own box [127.0.0.1]");
    EXPECT_EQ(fake_->totalCalls(), 0);
}

TEST_F(HostCacheTest, AFileWithoutRowsTreatsEveryAddressAsAMiss) {
    writeCacheFile(path_, {});
    fake_->answer("127.0.0.1", "localhost");
    HostCache cache(fake_);
    ASSERT_EQ(cache.load(path_), HostCache::LoadResult::Loaded);
    EXPECT_EQ(cache.fncGetHostName("127.0.0.1"), "localhost [127.0.0.1]");
    EXPECT_EQ(fake_->calls("127.0.0.1"), 1);
    EXPECT_FALSE(nettest::fileExists(path_ + ".bad"));
}

TEST_F(HostCacheTest, AnUnreadableFileIsKeptAsBadAndAFreshOneWritten) {
    const std::string garbage = "<not a stored table";
    nettest::writeFile(path_, garbage);
    HostCache cache(fake_);
    std::string error;
    EXPECT_EQ(cache.load(path_, &error), HostCache::LoadResult::Repaired);
    EXPECT_EQ(error, "");
    EXPECT_EQ(nettest::readFile(path_ + ".bad"), garbage);
    auto rows = storedRows(path_);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, "Local Host");
    EXPECT_EQ(cache.fncGetHostName("127.0.0.1"), "Local Host [127.0.0.1]");
}

TEST_F(HostCacheTest, AStoredTableOfTheWrongShapeIsKeptAsBadToo) {
    Recordset other;
    other.appendField("SVNAME", FieldType::NarrowText, 255);
    other.open();
    other.setValue(other.appendRow(), 0, "whois.example");
    ASSERT_TRUE(fncSaveRecordsetToXml(other, path_));
    const std::string before = nettest::readFile(path_);

    HostCache cache(fake_);
    EXPECT_EQ(cache.load(path_), HostCache::LoadResult::Repaired);
    EXPECT_EQ(nettest::readFile(path_ + ".bad"), before);
    EXPECT_EQ(storedRows(path_).size(), 1u);
    EXPECT_FALSE(cache.adopt(fncGetRecordsetFromXml(path_ + ".bad")));
    EXPECT_EQ(cache.fncGetHostName("127.0.0.1"), "Local Host [127.0.0.1]");
}

TEST_F(HostCacheTest, ASaveThatCannotWriteSaysSo) {
    HostCache cache(fake_);
    cache.load(path_);
    std::string error;
    EXPECT_FALSE(cache.save(dir_.file("missing/hosts.xml"), &error));
    EXPECT_FALSE(error.empty());
}

TEST(HostDisplayText, NameBlankBracketedAddress) {
    EXPECT_EQ(hostDisplayText("Local Host", "127.0.0.1"), "Local Host [127.0.0.1]");
    EXPECT_EQ(hostDisplayText("", "::1"), " [::1]");
}

}  // namespace
}  // namespace brevadin
