// Lookups that fail for a passing reason are not kept; old "Unknown" rows are asked again.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "export/xmlconv.h"
#include "netlookup/hostcache.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using namespace std::chrono_literals;
constexpr int kSlow = -1;  // answers only after the cache's time-out

// Gives each address its answers in turn, the last one again once they run out.
struct ScriptedResolver : Resolver {
    std::map<std::string, std::vector<ReverseAnswer>> script;
    std::map<std::string, int> calls;
    std::mutex mutex;
    std::atomic<int> busy{0};
    ReverseAnswer reverseLookupWithReason(const std::string& address) override {
        std::unique_lock lock(mutex);
        const auto& list = script[address];
        const ReverseAnswer a = list[std::min<size_t>(calls[address]++, list.size() - 1)];
        lock.unlock();
        if (a.error == kSlow) {
            ++busy;
            std::this_thread::sleep_for(300ms);
            --busy;
        }
        return a;
    }
    std::string reverseLookup(const std::string& a) override {
        return reverseLookupWithReason(a).name;
    }
};

TEST(TransientLookup, OnlyAMissingNameIsKeptAndOldUnknownsAreAskedAgain) {
    const std::string old = "2001-02-03T04:05:06", now = localNowText();
    const char* U = kUnknownHostName;
    const struct {
        const char* address;
        std::vector<ReverseAnswer> answers;
        std::string unknownSince;           // UPDATED of an "Unknown" row already in the file
        const char *first, *kept, *second;  // kept: NAME in the saved file, "" for no row
        int calls;
    } cases[] = {
        {"192.0.2.1", {{"", EAI_AGAIN}, {"b.example", 0}}, "", U, "", "b.example", 2},
        {"192.0.2.2", {{"", EAI_NONAME}}, "", U, U, U, 1},
        {"192.0.2.3", {{"", EAI_FAIL}}, "", U, "", U, 2},
        {"192.0.2.4", {{"", EAI_SYSTEM}, {"s.example", 0}}, "", U, "", "s.example", 2},
        {"192.0.2.5", {{"t.example", kSlow}, {"t.example", 0}}, "", U, "", "t.example", 2},
        {"192.0.2.6", {{"r.example", 0}}, old, "r.example", "r.example", "r.example", 1},
        {"192.0.2.7", {{"n.example", 0}}, now, U, U, U, 0},
        {"192.0.2.8", {{"", EAI_AGAIN}}, old, U, U, U, 2},
        {"192.0.2.9", {{"", EAI_NONAME}}, old, U, U, U, 1},
    };
    testing::TempFolder dir;
    const std::string path = dir.file("hosts.xml");
    auto fake = std::make_shared<ScriptedResolver>();
    RecordsetPtr seed = fncCreateHostCache(path).value;
    for (const auto& c : cases) {
        fake->script[c.address] = c.answers;
        if (c.unknownSince.empty()) continue;
        const size_t row = seed->appendRow();
        const std::string values[] = {c.address, U, c.unknownSince, c.unknownSince};
        for (size_t i = 0; i < 4; ++i) seed->setValue(row, i, values[i]);
    }
    ASSERT_TRUE(fncSaveRecordsetToXml(*seed, path));
    // One log load from a cache fresh from the file: what it shows, and the
    // names the file then holds (a second row for an address would add on).
    auto load = [&] {
        HostCache cache(fake, {.lookupTimeout = 100ms});
        EXPECT_EQ(cache.load(path).value, HostCache::LoadResult::Loaded);
        std::map<std::string, std::string> shown, file;
        std::string name;
        for (const auto& c : cases)
            if (cache.findOrStart(c.address, name)) shown[c.address] = name;
        for (auto& r : cache.finishLookups(nullptr, false)) shown[r.address] = r.name;
        EXPECT_TRUE(cache.save(path));
        RecordsetPtr saved = fncGetRecordsetFromXml(path);
        for (size_t r = 0; saved && r < saved->storedRowCount(); ++r)
            file[std::string(saved->value(r, 0))] += saved->value(r, 1);
        return std::pair(shown, file);
    };
    auto [first, file] = load();
    for (int i = 0; i < 100 && fake->busy > 0; ++i) std::this_thread::sleep_for(10ms);
    auto second = load().first;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(first[c.address], c.first);
        EXPECT_EQ(file[c.address], c.kept);
        EXPECT_EQ(second[c.address], c.second);
        EXPECT_EQ(fake->calls[c.address], c.calls);
    }
}

}  // namespace
}  // namespace brevadin
