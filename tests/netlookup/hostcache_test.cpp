#include "netlookup/hostcache.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "export/xmlconv.h"
#include "tests/support/fakeresolver.h"
#include "tests/support/tables.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using namespace std::chrono_literals;
using testing::FakeResolver;
using testing::Strings;
using testing::visibleColumn;

// Writes a cache file holding the given rows, as a hand-edited or older file would.
void writeCacheFile(const std::string& path, const std::vector<Strings>& rows) {
    ASSERT_TRUE(fncSaveRecordsetToXml(
        *testing::makeTable({"IP", "NAME", "UPDATED", "CREATED"}, rows), path));
}

std::map<std::string, std::string> byAddress(const std::vector<HostLookup::Resolved>& list) {
    std::map<std::string, std::string> out;
    for (const auto& r : list) out[r.address] = r.name;
    return out;
}

const auto noCancel = [](size_t, size_t) { return false; };

class HostCacheTest : public ::testing::Test {
protected:
    // Starts lookups for every address (each twice) and waits for them.
    std::vector<HostLookup::Resolved> askAll(HostCache& cache, const Strings& addresses) {
        std::string name;
        for (int round = 0; round < 2; ++round)
            for (const auto& a : addresses) EXPECT_FALSE(cache.findOrStart(a, name)) << a;
        return cache.finishLookups(noCancel, false);
    }
    testing::TempFolder dir_;
    const std::string path_ = dir_.file("hosts.xml");
    std::shared_ptr<FakeResolver> fake_ = std::make_shared<FakeResolver>();
};

TEST_F(HostCacheTest, AMissingFileGivesAFreshFileWithOnlyTheLoopbackRow) {
    HostCache cache(fake_);
    const auto [read, written] = cache.load(path_);
    EXPECT_EQ(read, HostCache::LoadResult::Created);
    EXPECT_TRUE(written) << written.description();
    RecordsetPtr raw = fncGetRecordsetFromXml(path_);
    ASSERT_TRUE(raw);
    EXPECT_EQ(testing::fieldNames(*raw), Strings({"IP", "NAME", "UPDATED", "CREATED"}));
    EXPECT_EQ(raw->fields()[2].type, FieldType::DateTime);
    ASSERT_EQ(raw->rowCount(), 1u);
    EXPECT_TRUE(std::regex_match(std::string(raw->value(0, 2)),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)")));
    EXPECT_EQ(raw->value(0, 2), raw->value(0, 3));
    // The loop-back name is known without a query.
    EXPECT_EQ(cache.fncGetHostName("127.0.0.1"), "Local Host [127.0.0.1]");
    EXPECT_TRUE(askAll(cache, {}).empty());
    EXPECT_EQ(fake_->totalCalls(), 0);

    auto [unsaved, failed] = fncCreateHostCache(dir_.file("no-such-dir/hosts.xml"));
    EXPECT_FALSE(failed.description().empty());
    ASSERT_TRUE(unsaved && unsaved->isOpen());  // still serves the run
    EXPECT_EQ(unsaved->storedRowCount(), 1u);
}

// Each address is asked once, failures and blanks become "Unknown", odd text is
// an ordinary key, and all of it survives a restart without a new query.
TEST_F(HostCacheTest, AnswersAreQueriedOnceKeptAsGivenAndSurviveARestart) {
    const struct {
        std::string address, answer, name;
    } cases[] = {{"192.0.2.10", "www.example.net", "www.example.net"},
                 {" 192.0.2.10", "spaced.example", "spaced.example"},
                 {"192.0.2.20", "", "Unknown"},
                 {"192.0.2.21", "   \t ", "Unknown"},
                 {"192.0.2.22", " padded.example ", " padded.example "},
                 {"x' or IP like '*", "quote.example", "quote.example"},
                 {"'", "q.example", "q.example"},
                 {"[::1]", "v6.example", "v6.example"}};
    Strings addresses;
    for (const auto& c : cases) {
        fake_->answer(c.address, c.answer);
        addresses.push_back(c.address);
    }
    {
        HostCache cache(fake_);
        cache.load(path_);
        auto resolved = askAll(cache, addresses);
        ASSERT_EQ(resolved.size(), addresses.size());
        for (size_t i = 0; i < addresses.size(); ++i) {
            EXPECT_EQ(resolved[i].address, addresses[i]);  // in the order first asked
            EXPECT_EQ(resolved[i].name, cases[i].name) << addresses[i];
            EXPECT_EQ(fake_->calls(addresses[i]), 1) << addresses[i];
        }
        EXPECT_EQ(cache.pendingCount(), 0u);
        EXPECT_EQ(cache.fncGetHostName("127.0.0.1"), "Local Host [127.0.0.1]");
        ASSERT_TRUE(cache.save(path_));
    }
    auto again = std::make_shared<FakeResolver>();
    HostCache cache(again);
    ASSERT_EQ(cache.load(path_).value, HostCache::LoadResult::Loaded);
    EXPECT_EQ(cache.table().storedRowCount(), addresses.size() + 1);
    for (const auto& c : cases) {
        std::string name;
        EXPECT_TRUE(cache.findOrStart(c.address, name));
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(cache.fncGetHostName(c.address), hostDisplayText(c.name, c.address));
    }
    EXPECT_EQ(again->totalCalls(), 0);
    EXPECT_EQ(hostDisplayText("", "::1"), " [::1]");
}

TEST_F(HostCacheTest, TheBlockingFormAddsOneRowAndSharesAPendingQuery) {
    fake_->answer("198.51.100.7", "mail.example.org");
    fake_->answer("203.0.113.5", "shared.example");
    HostCache cache(fake_);
    cache.load(path_);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(cache.fncGetHostName("198.51.100.7"), "mail.example.org [198.51.100.7]");
    EXPECT_EQ(cache.table().value(1, 2), cache.table().value(1, 3));
    std::string name;
    EXPECT_FALSE(cache.findOrStart("203.0.113.5", name));
    EXPECT_EQ(cache.fncGetHostName("203.0.113.5"), "shared.example [203.0.113.5]");
    // The load that asked first still hears of it, and no second row appears.
    EXPECT_EQ(byAddress(cache.finishLookups(noCancel, false))["203.0.113.5"], "shared.example");
    EXPECT_EQ(fake_->totalCalls(), 2);
    EXPECT_EQ(cache.table().storedRowCount(), 3u);

    struct Throwing : Resolver {
        std::string reverseLookup(const std::string&) override { throw std::runtime_error("x"); }
    };
    HostCache broken(std::make_shared<Throwing>());
    broken.load(dir_.file("other.xml"));
    EXPECT_EQ(broken.fncGetHostName("192.0.2.30"), "Unknown [192.0.2.30]");
}

TEST_F(HostCacheTest, LookupsRunInParallelWithinTheBound) {
    const struct {
        int addresses;
        size_t maxInFlight;
        int lowestPeak, highestPeak;
    } cases[] = {{300, HostCacheOptions{}.maxInFlight, 33, 64}, {40, 4, 4, 4}};
    for (const auto& c : cases) {
        auto fake = std::make_shared<FakeResolver>();
        fake->setDelay(c.addresses > 100 ? 100ms : 30ms);
        HostCacheOptions options;
        options.maxInFlight = c.maxInFlight;
        HostCache cache(fake, options);
        cache.load(dir_.file(std::to_string(c.addresses) + ".xml"));
        Strings addresses;
        for (int i = 0; i < c.addresses; ++i)
            addresses.push_back("10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256));
        size_t lastDone = 0;
        std::string name;
        for (const auto& a : addresses) cache.findOrStart(a, name);
        auto resolved = cache.finishLookups(
            [&](size_t done, size_t total) {
                EXPECT_EQ(total, addresses.size());
                EXPECT_GE(done, lastDone);
                lastDone = done;
                return false;
            },
            false);
        ASSERT_EQ(resolved.size(), addresses.size());
        EXPECT_EQ(visibleColumn(cache.table(), "IP").back(), addresses.back());
        EXPECT_GE(fake->peakInFlight(), c.lowestPeak);
        EXPECT_LE(fake->peakInFlight(), c.highestPeak);
    }
}

TEST_F(HostCacheTest, AHungLookupTimesOutAsUnknownAndFreesItsSlot) {
    fake_->hang("192.0.2.99");
    fake_->hang("192.0.2.98");
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
    auto resolved =
        byAddress(cache.finishLookups([&](size_t, size_t) { return ++reports < 0; }, false));
    EXPECT_EQ(resolved["192.0.2.99"], "Unknown");
    EXPECT_EQ(resolved["192.0.2.100"], "after.example");
    EXPECT_GE(reports, 5);               // 200 ms of waiting reported every 20 ms
    EXPECT_FALSE(fake_->waitIdle(0ms));  // still blocked in the resolver
    // Shown as unknown but not kept, and not asked again while its query is
    // still blocked in the resolver; the blocking form gives up too.
    EXPECT_EQ(cache.fncGetHostName("192.0.2.99"), "Unknown [192.0.2.99]");
    EXPECT_EQ(cache.fncGetHostName("192.0.2.98"), "Unknown [192.0.2.98]");
    EXPECT_EQ(fake_->calls("192.0.2.99"), 1);
    fake_->release();
    EXPECT_TRUE(fake_->waitIdle());
}

TEST_F(HostCacheTest, CancelKeepsWhatFinishedAndAsksAgainLater) {
    fake_->answer("192.0.2.50", "quick.example");
    Strings hung;
    for (int i = 0; i < 5; ++i) fake_->hang(hung.emplace_back("192.0.2.6" + std::to_string(i)));
    HostCache cache(fake_);
    cache.load(path_);
    std::string name;
    cache.findOrStart("192.0.2.50", name);
    for (const auto& a : hung) cache.findOrStart(a, name);
    // The user cancels once the quick one is in.
    auto resolved = cache.finishLookups([](size_t done, size_t) { return done >= 1; }, false);
    ASSERT_EQ(resolved.size(), 1u);
    EXPECT_EQ(resolved[0].address, "192.0.2.50");
    EXPECT_EQ(cache.table().storedRowCount(), 2u);
    EXPECT_EQ(cache.pendingCount(), 0u);

    EXPECT_FALSE(cache.findOrStart(hung[0], name));
    fake_->answer(hung[0], "late.example");
    fake_->release();
    EXPECT_EQ(byAddress(cache.finishLookups(noCancel, false))[hung[0]], "late.example");
    EXPECT_EQ(fake_->calls(hung[0]), 2);
    EXPECT_TRUE(fake_->waitIdle());
}

TEST_F(HostCacheTest, CancelNowAndDestructionDoNotWaitForBlockedWorkers) {
    for (const char* a : {"192.0.2.70", "192.0.2.71"}) fake_->hang(a);
    {
        HostCache cache(fake_);
        cache.load(path_);
        std::string name;
        cache.findOrStart("192.0.2.70", name);
        cache.findOrStart("192.0.2.71", name);
        bool reported = false;
        EXPECT_TRUE(
            cache.finishLookups([&](size_t, size_t) { return reported = true; }, true).empty());
        EXPECT_FALSE(reported);
        EXPECT_EQ(cache.table().storedRowCount(), 1u);
        cache.findOrStart("192.0.2.70", name);  // a second, also blocked, query
    }
    // The workers come back to a cache that is gone and end quietly.
    fake_->release();
    EXPECT_TRUE(fake_->waitIdle());
}

TEST_F(HostCacheTest, SaveWritesNewestFirstAndLoadTakesTheFirstOfTwins) {
    writeCacheFile(path_, {{"192.0.2.1", "old-b", "2005-06-01T12:00:00", "2005-06-01T12:00:00"},
                           {"192.0.2.5", "first", "2010-01-01T00:00:00", "2010-01-01T00:00:00"},
                           {"192.0.2.5", "second", "2021-01-01T00:00:00", "2021-01-01T00:00:00"},
                           {"127.0.0.1", "my box", "2001-01-01T00:00:00", "2001-01-01T00:00:00"}});
    fake_->answer("198.51.100.1", "new1.example");
    HostCache cache(fake_);
    ASSERT_EQ(cache.load(path_).value, HostCache::LoadResult::Loaded);
    EXPECT_EQ(cache.fncGetHostName("192.0.2.5"), "first [192.0.2.5]");
    EXPECT_EQ(cache.fncGetHostName("127.0.0.1"), "my box [127.0.0.1]");
    cache.fncGetHostName("198.51.100.1");
    ASSERT_TRUE(cache.save(path_));
    auto saved = fncGetRecordsetFromXml(path_);
    ASSERT_TRUE(saved);
    EXPECT_EQ(visibleColumn(*saved, "IP"),
              Strings({"198.51.100.1", "192.0.2.5", "192.0.2.5", "192.0.2.1", "127.0.0.1"}));
    // Lookups keep working after the save re-ordered the table.
    EXPECT_EQ(cache.fncGetHostName("192.0.2.1"), "old-b [192.0.2.1]");
    EXPECT_EQ(fake_->totalCalls(), 1);
    const Outcome unsaved = cache.save(dir_.file("missing/hosts.xml"));
    EXPECT_FALSE(unsaved.ok() || unsaved.description().empty());
}

TEST_F(HostCacheTest, AFileWithoutRowsAsksEvenForTheLoopback) {
    writeCacheFile(path_, {});
    fake_->answer("127.0.0.1", "localhost");
    HostCache cache(fake_);
    ASSERT_EQ(cache.load(path_).value, HostCache::LoadResult::Loaded);
    EXPECT_EQ(cache.fncGetHostName("127.0.0.1"), "localhost [127.0.0.1]");
    EXPECT_FALSE(std::filesystem::exists(path_ + ".bad"));
}

}  // namespace
}  // namespace brevadin
