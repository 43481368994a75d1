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

// Gives each address its answers in turn; kSlow answers only after the cache's time-out.
class ScriptedResolver : public Resolver {
public:
    static constexpr int kSlow = -1;
    std::map<std::string, std::vector<ReverseAnswer>> script;
    std::map<std::string, int> calls;
    std::atomic<int> busy{0};

    ReverseAnswer reverseLookupWithReason(const std::string& address) override {
        ++busy;
        ReverseAnswer answer;
        {
            std::lock_guard lock(mutex_);
            const auto& list = script[address];
            answer = list.at(std::min<size_t>(calls[address]++, list.size() - 1));
        }
        if (answer.error == kSlow) std::this_thread::sleep_for(300ms);
        --busy;
        return answer;
    }
    std::string reverseLookup(const std::string& address) override {
        return reverseLookupWithReason(address).name;
    }

private:
    std::mutex mutex_;
};

TEST(TransientLookup, OnlyAMissingNameIsKeptAndOldUnknownsAreAskedAgain) {
    constexpr const char* old = "2001-02-03T04:05:06";
    const std::string now = localNowText();
    const int slow = ScriptedResolver::kSlow;
    const char* U = kUnknownHostName;
    const struct {
        const char* address;
        std::vector<ReverseAnswer> answers;
        const char* unknownSince;           // UPDATED of an "Unknown" row already in the file
        const char *first, *kept, *second;  // kept: NAME in the saved file, "" for no row
        int calls;
    } cases[] = {
        {"192.0.2.1", {{"", EAI_AGAIN}, {"b.example", 0}}, nullptr, U, "", "b.example", 2},
        {"192.0.2.2", {{"", EAI_NONAME}}, nullptr, U, U, U, 1},
        {"192.0.2.3", {{"", EAI_FAIL}}, nullptr, U, "", U, 2},
        {"192.0.2.4", {{"", EAI_SYSTEM}, {"s.example", 0}}, nullptr, U, "", "s.example", 2},
        {"192.0.2.5", {{"t.example", slow}, {"t.example", 0}}, nullptr, U, "", "t.example", 2},
        {"192.0.2.6", {{"r.example", 0}}, old, "r.example", "r.example", "r.example", 1},
        {"192.0.2.7", {{"n.example", 0}}, now.c_str(), U, U, U, 0},
        {"192.0.2.8", {{"", EAI_AGAIN}}, old, U, U, U, 2},
        {"192.0.2.9", {{"", EAI_NONAME}}, old, U, U, U, 1},
    };
    testing::TempFolder dir;
    const std::string path = dir.file("hosts.xml");
    auto fake = std::make_shared<ScriptedResolver>();
    RecordsetPtr seed = fncCreateHostCache(path);
    for (const auto& c : cases) {
        fake->script[c.address] = c.answers;
        if (!c.unknownSince) continue;
        const size_t row = seed->appendRow();
        for (size_t i = 0; i < 4; ++i)
            seed->setValue(row, i, i == 0 ? c.address : i == 1 ? kUnknownHostName : c.unknownSince);
    }
    ASSERT_TRUE(fncSaveRecordsetToXml(*seed, path));

    HostCacheOptions options;
    options.lookupTimeout = 100ms;
    auto load = [&] {  // what one log load shows, from a cache fresh from the file
        HostCache cache(fake, options);
        EXPECT_EQ(cache.load(path), HostCache::LoadResult::Loaded);
        std::map<std::string, std::string> shown;
        std::string name;
        for (const auto& c : cases)
            if (cache.findOrStart(c.address, name)) shown[c.address] = name;
        for (auto& r : cache.finishLookups(nullptr, false)) shown[r.address] = r.name;
        EXPECT_TRUE(cache.save(path));
        return shown;
    };
    auto first = load();
    RecordsetPtr saved = fncGetRecordsetFromXml(path);
    ASSERT_TRUE(saved);
    std::map<std::string, std::pair<std::string, std::string>> rows;  // IP -> NAME, CREATED
    for (size_t r = 0; r < saved->storedRowCount(); ++r)
        rows[std::string(saved->value(r, 0))] = {std::string(saved->value(r, 1)),
                                                 std::string(saved->value(r, 3))};
    for (int i = 0; i < 100 && fake->busy > 0; ++i) std::this_thread::sleep_for(10ms);
    auto second = load();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(first[c.address], c.first);
        EXPECT_EQ(rows[c.address].first, c.kept);
        if (c.unknownSince) {
            EXPECT_EQ(rows[c.address].second, c.unknownSince);  // CREATED stays
        }
        EXPECT_EQ(second[c.address], c.second);
        EXPECT_EQ(fake->calls[c.address], c.calls);
    }
    EXPECT_EQ(saved->fieldCount(), 4u);  // the file keeps its form
    EXPECT_EQ(saved->fields()[2].type, FieldType::DateTime);
}

}  // namespace
}  // namespace brevadin
