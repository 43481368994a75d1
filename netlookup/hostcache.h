#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/outcome.h"
#include "logdata/loadcontext.h"
#include "logdata/recordset.h"
#include "netlookup/resolver.h"

namespace brevadin {

inline constexpr const char* kHostCacheFileName = "hosts.xml";
inline constexpr const char* kUnknownHostName = "Unknown";
inline constexpr const char* kLocalHostAddress = "127.0.0.1";
inline constexpr const char* kLocalHostName = "Local Host";
// An "Unknown" row older than this is asked about again when next needed.
inline constexpr int kUnknownRetryDays = 30;

// The local date and time to the second, "yyyy-mm-ddThh:mm:ss".
std::string localNowText();

// hosts.xml beside the executable.
std::string defaultHostCachePath();

// A fresh cache table (fields IP, NAME, UPDATED, CREATED holding only the
// loop-back row), written to path at once. The table is given open in any
// case, with whether the file was written.
Result<RecordsetPtr> fncCreateHostCache(const std::string& path);

struct HostCacheOptions {
    // Reverse lookups running at the same time.
    size_t maxInFlight = 64;
    // A lookup still unanswered after this long counts as failed ("Unknown").
    std::chrono::milliseconds lookupTimeout{5000};
    // How often finishLookups reports progress while it waits.
    std::chrono::milliseconds progressInterval{50};
};

namespace detail {
class LookupPool;
struct LookupJob;
}  // namespace detail

// The persistent host-name cache: a record table of address-to-name rows that
// lives for the whole run. A miss asks the resolver once; the answer, or
// "Unknown" when the address has no name, is kept, so an address costs one
// query over the life of the cache file. A lookup that failed for a passing
// reason (no network, a server failure, the time-out) is shown as unknown but
// not kept, and an "Unknown" older than kUnknownRetryDays is asked again.
//
// Lookups run on worker threads; only the thread that owns the cache (the one
// calling its methods) touches the table. The cache may be destroyed while a
// worker is still blocked in the resolver: the worker's late answer is thrown
// away.
class HostCache : public HostLookup {
public:
    enum class LoadResult {
        Loaded,    // the file was read
        Created,   // there was no file; a fresh one was written
        Repaired,  // the file was unreadable, was kept as path + ".bad" (an empty
                   // one is not) and replaced, or could not be kept (the outcome says so)
    };

    explicit HostCache(std::shared_ptr<Resolver> resolver = std::make_shared<SystemResolver>(),
                       HostCacheOptions options = {});
    ~HostCache() override;
    HostCache(const HostCache&) = delete;
    HostCache& operator=(const HostCache&) = delete;

    // Start-up: reads the cache from path. When that yields no usable table,
    // an existing file is first kept as path + ".bad", then a fresh cache is
    // made and written. The outcome says why the fresh file could not be
    // written (the cache still serves the run from memory). A file that
    // could not be kept is not written over, now or by a later save to path.
    Result<LoadResult> load(const std::string& path);

    // Takes table as the cache: its rows as they are, in their stored order,
    // the first row winning for an address held twice. False (and the cache
    // unchanged) when the table lacks one of the four fields.
    bool adopt(RecordsetPtr table);

    // Shutdown: under the lock of path (see FileLock), adds to the table the
    // rows that path holds by now and the cache lacks (by address; where both
    // have one, the newer UPDATED wins), so that programs sharing the file
    // keep each other's entries; then orders it newest first ("UPDATED DESC")
    // and writes it to path. Fails when the file could not be written, or when
    // path is the unreadable file load could not keep and it still cannot be
    // kept as path + ".bad".
    Outcome save(const std::string& path);

    // The display text of address, waiting for the reverse lookup on a miss.
    std::string fncGetHostName(std::string_view address);

    // HostLookup: name is the host name alone ("Unknown" for a failed lookup).
    bool findOrStart(std::string_view address, std::string& name) override;
    std::vector<Resolved> finishLookups(
        const std::function<bool(size_t done, size_t total)>& progress, bool cancelNow) override;

    const Recordset& table() const { return *table_; }
    RecordsetPtr tablePtr() const { return table_; }
    // Lookups started and not yet collected by finishLookups.
    size_t pendingCount() const { return batch_.size(); }

private:
    struct KeyHash {
        using is_transparent = void;
        size_t operator()(std::string_view key) const noexcept {
            return std::hash<std::string_view>{}(key);
        }
    };
    using Index = std::unordered_map<std::string, size_t, KeyHash, std::equal_to<>>;

    // Sets name and returns true when the table holds an answer for address
    // that is still good.
    bool findName(std::string_view address, std::string& name);
    bool isStaleUnknown(size_t row);
    void addRow(const std::string& address, const std::string& name);
    void mergeRows(const Recordset& other);
    void reapIfDue();

    RecordsetPtr table_;
    Index index_;  // address -> storage row
    size_t ipColumn_ = 0;
    size_t nameColumn_ = 1;
    size_t updatedColumn_ = 2;
    size_t createdColumn_ = 3;

    HostCacheOptions options_;
    std::shared_ptr<detail::LookupPool> pool_;
    // Lookups started since the last finishLookups, in the order they were asked for.
    std::vector<std::shared_ptr<detail::LookupJob>> batch_;
    std::unordered_map<std::string, std::shared_ptr<detail::LookupJob>, KeyHash, std::equal_to<>>
        pending_;
    std::chrono::steady_clock::time_point nextReap_{};
    // UPDATED text before which an "Unknown" row is stale, and when to recompute it.
    std::string staleBefore_;
    std::chrono::steady_clock::time_point staleBeforeExpires_{};
    // The unreadable file load found and could not move aside; empty when none.
    std::string unkeptPath_;
};

}  // namespace brevadin
