// Resolves 20,000 new client addresses through the host-name cache against a
// resolver that takes 50 ms per answer, as a slow DNS server would. One
// lookup at a time this would take 1,000 s; the target is 20 s.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "netlookup/hostcache.h"

namespace {

using Clock = std::chrono::steady_clock;

class SlowResolver : public brevadin::Resolver {
public:
    explicit SlowResolver(std::chrono::milliseconds delay) : delay_(delay) {}

    std::string reverseLookup(const std::string& address) override {
        {
            std::lock_guard lock(mutex_);
            ++calls_;
            peak_ = std::max(peak_, ++inFlight_);
        }
        std::this_thread::sleep_for(delay_);
        std::lock_guard lock(mutex_);
        --inFlight_;
        return "host-" + address + ".example";
    }
    int peak() const {
        std::lock_guard lock(mutex_);
        return peak_;
    }
    int calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    const std::chrono::milliseconds delay_;
    mutable std::mutex mutex_;
    int inFlight_ = 0;
    int peak_ = 0;
    int calls_ = 0;
};

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main() {
    constexpr int kAddresses = 20000;
    constexpr auto kDelay = std::chrono::milliseconds(50);
    constexpr double kTargetSeconds = 20.0;
    const double sequential = kAddresses * std::chrono::duration<double>(kDelay).count();

    std::vector<std::string> addresses;
    addresses.reserve(kAddresses);
    for (int i = 0; i < kAddresses; ++i) {
        addresses.push_back("10." + std::to_string(i / 65536) + "." +
                            std::to_string(i / 256 % 256) + "." + std::to_string(i % 256));
    }

    auto resolver = std::make_shared<SlowResolver>(kDelay);
    brevadin::HostCache cache(resolver);

    const auto start = Clock::now();
    std::string name;
    for (const auto& a : addresses) cache.findOrStart(a, name);
    const auto started = Clock::now();
    size_t reports = 0;
    auto resolved = cache.finishLookups(
        [&](size_t, size_t) {
            ++reports;
            return false;
        },
        false);
    const auto finished = Clock::now();

    // Every address is now a hit: the second pass costs no query at all.
    size_t hits = 0;
    for (const auto& a : addresses) hits += cache.findOrStart(a, name) ? 1 : 0;
    const auto rehit = Clock::now();

    const double total = seconds(finished - start);
    std::printf("bench_resolve: %d new addresses, fake resolver %lld ms per lookup\n", kAddresses,
                static_cast<long long>(kDelay.count()));
    std::printf("  start lookups      %8.3f s\n", seconds(started - start));
    std::printf("  all resolved       %8.3f s  (target <= %.0f s; one at a time: %.0f s)\n", total,
                kTargetSeconds, sequential);
    std::printf("  peak in flight     %8d\n", resolver->peak());
    std::printf("  resolver calls     %8d\n", resolver->calls());
    std::printf("  names returned     %8zu\n", resolved.size());
    std::printf("  progress reports   %8zu\n", reports);
    std::printf("  %zu hits afterwards %8.3f ms\n", hits, seconds(rehit - finished) * 1000.0);

    const bool ok = total <= kTargetSeconds && resolved.size() == addresses.size() &&
                    resolver->calls() == kAddresses && hits == addresses.size();
    std::printf("  result             %s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
