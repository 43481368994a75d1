#include "netlookup/hostcache.h"

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <exception>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "common/atomicfile.h"
#include "export/xmlconv.h"

namespace brevadin {

using Clock = std::chrono::steady_clock;

namespace detail {

enum class JobState {
    Queued,
    Running,
    Done,      // the resolver answered (possibly with nothing)
    TimedOut,  // no answer in time; shown as unknown but not kept
    Failed,    // could not be run at all; shown as unknown but not kept
    Dropped,   // no longer wanted (cancel, or the cache went away)
};

struct LookupJob {
    std::string address;
    bool inBatch = false;  // started by findOrStart, collected by finishLookups
    // Everything below is guarded by the pool's mutex.
    JobState state = JobState::Queued;
    Clock::time_point deadline{};
    std::string name;
    bool passing = false;  // Done without a name for a reason that may pass
};

inline bool finished(const LookupJob& job) {
    return job.state == JobState::Done || job.state == JobState::TimedOut ||
           job.state == JobState::Failed;
}

// The worker threads and the jobs they share with the cache. Workers hold the
// pool through a shared_ptr, so one that comes back from a lookup after the
// cache is gone still finds valid state, sees its job dropped and ends.
//
// A worker that is still blocked when its job times out keeps its thread but
// gives up its slot: a fresh worker takes over the queue, and the late one
// ends as soon as the resolver lets it go.
class LookupPool : public std::enable_shared_from_this<LookupPool> {
public:
    LookupPool(std::shared_ptr<Resolver> resolver, size_t maxInFlight,
               std::chrono::milliseconds timeout)
        : resolver_(std::move(resolver)),
          maxInFlight_(std::max<size_t>(1, maxInFlight)),
          timeout_(timeout) {}

    std::mutex mutex;
    std::condition_variable changed;  // a job has finished
    size_t batchFinished = 0;         // batch jobs finished since the last reset

    void submitLocked(const std::shared_ptr<LookupJob>& job, bool urgent) {
        if (stopping_) {
            finishLocked(*job, JobState::Failed);
            return;
        }
        if (stuck_.count(job->address) > 0) {
            // The resolver still holds the lookup that timed out: a second
            // thread would only hang beside it.
            finishLocked(*job, JobState::TimedOut);
            return;
        }
        if (urgent) {
            queue_.push_front(job);
        } else {
            queue_.push_back(job);
        }
        spawnLocked();
    }

    // Moves a queued job to the head of the queue.
    void hurryLocked(const std::shared_ptr<LookupJob>& job) {
        if (job->state != JobState::Queued) return;
        auto it = std::find(queue_.begin(), queue_.end(), job);
        if (it == queue_.end() || it == queue_.begin()) return;
        queue_.erase(it);
        queue_.push_front(job);
    }

    // Gives up on lookups that have run past their time.
    void reapLocked(Clock::time_point now) {
        bool any = false;
        for (auto it = running_.begin(); it != running_.end();) {
            if (now >= (*it)->deadline) {
                finishLocked(**it, JobState::TimedOut);
                ++stuck_[(*it)->address];
                --liveWorkers_;
                it = running_.erase(it);
                any = true;
            } else {
                ++it;
            }
        }
        if (any) spawnLocked();
    }

    void dropUnfinishedBatchLocked() {
        for (auto it = queue_.begin(); it != queue_.end();) {
            if ((*it)->inBatch) {
                (*it)->state = JobState::Dropped;
                it = queue_.erase(it);
            } else {
                ++it;
            }
        }
        for (auto it = running_.begin(); it != running_.end();) {
            if ((*it)->inBatch) {
                (*it)->state = JobState::Dropped;
                --liveWorkers_;
                it = running_.erase(it);
            } else {
                ++it;
            }
        }
    }

    void shutdownLocked() {
        stopping_ = true;
        for (auto& job : queue_) job->state = JobState::Dropped;
        queue_.clear();
        for (auto& job : running_) job->state = JobState::Dropped;
        liveWorkers_ -= running_.size();
        running_.clear();
    }

private:
    void finishLocked(LookupJob& job, JobState state) {
        job.state = state;
        if (job.inBatch) ++batchFinished;
        changed.notify_all();
    }

    void spawnLocked() {
        while (!queue_.empty() && liveWorkers_ < maxInFlight_ &&
               liveWorkers_ < running_.size() + queue_.size()) {
            try {
                std::thread(&LookupPool::work, shared_from_this()).detach();
            } catch (const std::system_error&) {
                // Out of threads. The workers still alive will get through the
                // queue; with none left, nothing would ever run it.
                if (liveWorkers_ == 0) {
                    for (auto& job : queue_) finishLocked(*job, JobState::Failed);
                    queue_.clear();
                }
                return;
            }
            ++liveWorkers_;
        }
    }

    static void work(std::shared_ptr<LookupPool> self) {
        std::unique_lock lock(self->mutex);
        while (!self->stopping_ && !self->queue_.empty()) {
            std::shared_ptr<LookupJob> job = self->queue_.front();
            self->queue_.pop_front();
            job->state = JobState::Running;
            job->deadline = Clock::now() + self->timeout_;
            self->running_.push_back(job);
            std::shared_ptr<Resolver> resolver = self->resolver_;
            const std::string address = job->address;
            lock.unlock();

            ReverseAnswer answer;
            try {
                answer = resolver->reverseLookupWithReason(address);
            } catch (...) {
                // Says nothing about the name: a fault, not an answer.
                answer = {std::string(), EAI_SYSTEM};
            }

            lock.lock();
            if (job->state != JobState::Running) {
                // Timed out or dropped meanwhile: the slot has been handed on
                // and the answer is no longer wanted.
                if (job->state == JobState::TimedOut) self->unstickLocked(address);
                return;
            }
            self->running_.erase(std::find(self->running_.begin(), self->running_.end(), job));
            job->name = std::move(answer.name);
            job->passing = isPassingLookupFailure(answer.error);
            self->finishLocked(*job, JobState::Done);
        }
        --self->liveWorkers_;
    }

    void unstickLocked(const std::string& address) {
        auto it = stuck_.find(address);
        if (it != stuck_.end() && --it->second == 0) stuck_.erase(it);
    }

    const std::shared_ptr<Resolver> resolver_;
    const size_t maxInFlight_;
    const std::chrono::milliseconds timeout_;
    std::deque<std::shared_ptr<LookupJob>> queue_;
    std::vector<std::shared_ptr<LookupJob>> running_;
    size_t liveWorkers_ = 0;  // workers that hold a slot
    bool stopping_ = false;
    // Addresses whose timed-out lookups are still blocked in the resolver.
    std::unordered_map<std::string, int> stuck_;
};

}  // namespace detail

namespace {

using detail::JobState;
using detail::LookupJob;

// Only a finished answer is kept; a fault that may pass is asked again later.
bool worthKeeping(const LookupJob& job) {
    return job.state == JobState::Done && !job.passing;
}

// A resolver's answer as the cache keeps it: blank means no name.
std::string storedName(const LookupJob& job) {
    if (job.state != JobState::Done) return kUnknownHostName;
    if (job.name.find_first_not_of(" \t\r\n\v\f") == std::string::npos) return kUnknownHostName;
    return job.name;
}

RecordsetPtr makeFreshTable() {
    auto table = std::make_shared<Recordset>();
    table->appendField("IP", FieldType::NarrowText, 50);
    table->appendField("NAME", FieldType::NarrowText, 255);
    table->appendField("UPDATED", FieldType::DateTime);
    table->appendField("CREATED", FieldType::DateTime);
    table->open();
    const std::string now = localNowText();
    size_t row = table->appendRow();
    table->setValue(row, 0, kLocalHostAddress);
    table->setValue(row, 1, kLocalHostName);
    table->setValue(row, 2, now);
    table->setValue(row, 3, now);
    return table;
}

}  // namespace

namespace {

std::string localTimeText(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char buffer[32];
    size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &local);
    return std::string(buffer, n);
}

}  // namespace

std::string localNowText() {
    return localTimeText(std::time(nullptr));
}

std::string defaultHostCachePath() {
    return joinPath(executableDir(), kHostCacheFileName);
}

Result<RecordsetPtr> fncCreateHostCache(const std::string& path) {
    RecordsetPtr table = makeFreshTable();
    Outcome written = fncSaveRecordsetToXml(*table, path);
    return {std::move(table), std::move(written)};
}

HostCache::HostCache(std::shared_ptr<Resolver> resolver, HostCacheOptions options)
    : options_(options),
      pool_(std::make_shared<detail::LookupPool>(
          resolver ? std::move(resolver) : std::make_shared<SystemResolver>(), options.maxInFlight,
          options.lookupTimeout)) {
    adopt(makeFreshTable());
}

HostCache::~HostCache() {
    std::lock_guard lock(pool_->mutex);
    pool_->shutdownLocked();
}

Result<HostCache::LoadResult> HostCache::load(const std::string& path) {
    unkeptPath_.clear();
    RecordsetPtr loaded = fncGetRecordsetFromXml(path);
    if (loaded && adopt(loaded)) return {LoadResult::Loaded, {}};

    // Whatever is there could not be used: keep it aside before it is replaced.
    std::error_code ec;
    const bool present = std::filesystem::symlink_status(finalTarget(path), ec).type() !=
                         std::filesystem::file_type::not_found;
    if (present && !keepAsBad(path)) {
        // Writing now would destroy the only copy; serve the run from memory,
        // and let no later save write over it either.
        adopt(makeFreshTable());
        unkeptPath_ = path;
        return {LoadResult::Repaired,
                Outcome::failed(path + ": " + path + ".bad として退避できませんでした")};
    }
    auto [fresh, written] = fncCreateHostCache(path);
    adopt(std::move(fresh));
    return {present ? LoadResult::Repaired : LoadResult::Created, std::move(written)};
}

bool HostCache::adopt(RecordsetPtr table) {
    if (!table) return false;
    const int ip = table->fieldIndex("IP");
    const int name = table->fieldIndex("NAME");
    const int updated = table->fieldIndex("UPDATED");
    const int created = table->fieldIndex("CREATED");
    if (ip < 0 || name < 0 || updated < 0 || created < 0) return false;
    if (!table->isOpen()) table->open();

    Index index;
    const size_t rows = table->storedRowCount();
    index.reserve(rows);
    for (size_t row = 0; row < rows; ++row) {
        index.try_emplace(std::string(table->value(row, static_cast<size_t>(ip))), row);
    }
    table_ = std::move(table);
    index_ = std::move(index);
    ipColumn_ = static_cast<size_t>(ip);
    nameColumn_ = static_cast<size_t>(name);
    updatedColumn_ = static_cast<size_t>(updated);
    createdColumn_ = static_cast<size_t>(created);
    return true;
}

Outcome HostCache::save(const std::string& path) {
    if (!unkeptPath_.empty() && path == unkeptPath_) {
        if (!keepAsBad(path)) {
            return Outcome::failed(path + ": 読めなかったファイルを " + path +
                                   ".bad として退避できないため、上書きしません");
        }
        unkeptPath_.clear();
    }
    // Other programs (a second exporter, the viewer) save the same file: take
    // turns, and keep what they learned since this run read it.
    FileLock lock(path);
    if (RecordsetPtr current = fncGetRecordsetFromXml(path)) mergeRows(*current);
    try {
        table_->setSort("UPDATED DESC");
    } catch (const std::exception& e) {
        return Outcome::failed(e.what());
    }
    return fncSaveRecordsetToXml(*table_, path);
}

void HostCache::mergeRows(const Recordset& other) {
    const int ip = other.fieldIndex("IP");
    const int name = other.fieldIndex("NAME");
    const int updated = other.fieldIndex("UPDATED");
    const int created = other.fieldIndex("CREATED");
    if (ip < 0 || name < 0 || updated < 0 || created < 0) return;
    auto from = [&](size_t row, int column) {
        return other.value(row, static_cast<size_t>(column));
    };
    for (size_t row = 0; row < other.storedRowCount(); ++row) {
        const std::string_view address = from(row, ip);
        if (address.empty()) continue;
        auto it = index_.find(address);
        size_t to = 0;
        if (it == index_.end()) {
            to = table_->appendRow();
            index_.emplace(std::string(address), to);
        } else if (from(row, updated) > table_->value(it->second, updatedColumn_)) {
            // Both know it: the newer answer wins ("yyyy-mm-ddThh:mm:ss" sorts as text).
            to = it->second;
        } else {
            continue;
        }
        table_->setValue(to, ipColumn_, address);
        table_->setValue(to, nameColumn_, from(row, name));
        table_->setValue(to, updatedColumn_, from(row, updated));
        table_->setValue(to, createdColumn_, from(row, created));
    }
}

bool HostCache::isStaleUnknown(size_t row) {
    if (table_->value(row, nameColumn_) != kUnknownHostName) return false;
    const auto now = Clock::now();
    if (staleBefore_.empty() || now >= staleBeforeExpires_) {
        // The viewer may run for days; a minute's lag in the limit is harmless.
        constexpr std::time_t kSecondsPerDay = 24 * 60 * 60;
        staleBefore_ = localTimeText(std::time(nullptr) - kUnknownRetryDays * kSecondsPerDay);
        staleBeforeExpires_ = now + std::chrono::minutes(1);
    }
    return table_->value(row, updatedColumn_) < staleBefore_;
}

bool HostCache::findName(std::string_view address, std::string& name) {
    auto it = index_.find(address);
    if (it == index_.end() || isStaleUnknown(it->second)) return false;
    name.assign(table_->value(it->second, nameColumn_));
    return true;
}

void HostCache::addRow(const std::string& address, const std::string& name) {
    const std::string now = localNowText();
    size_t row = 0;
    if (auto it = index_.find(address); it == index_.end()) {
        row = table_->appendRow();
        table_->setValue(row, ipColumn_, address);
        table_->setValue(row, createdColumn_, now);
        index_.emplace(address, row);
    } else if (isStaleUnknown(it->second)) {
        row = it->second;  // asked again: the new answer replaces the old one
    } else {
        return;
    }
    table_->setValue(row, nameColumn_, name);
    table_->setValue(row, updatedColumn_, now);
}

void HostCache::reapIfDue() {
    const auto now = Clock::now();
    if (now < nextReap_) return;
    nextReap_ = now + options_.progressInterval;
    std::lock_guard lock(pool_->mutex);
    pool_->reapLocked(now);
}

std::string HostCache::fncGetHostName(std::string_view address) {
    std::string name;
    if (findName(address, name)) return hostDisplayText(name, address);

    std::shared_ptr<LookupJob> job;
    bool remember = true;
    {
        std::unique_lock lock(pool_->mutex);
        if (auto it = pending_.find(address); it != pending_.end()) {
            job = it->second;
            pool_->hurryLocked(job);
        } else {
            job = std::make_shared<LookupJob>();
            job->address = std::string(address);
            pool_->submitLocked(job, true);
        }
        while (!detail::finished(*job) && job->state != JobState::Dropped) {
            pool_->reapLocked(Clock::now());
            if (detail::finished(*job)) break;
            pool_->changed.wait_for(lock, options_.progressInterval);
        }
        name = storedName(*job);
        remember = worthKeeping(*job);
    }
    if (remember) addRow(job->address, name);
    return hostDisplayText(name, address);
}

bool HostCache::findOrStart(std::string_view address, std::string& name) {
    if (findName(address, name)) return true;
    if (pending_.find(address) == pending_.end()) {
        auto job = std::make_shared<LookupJob>();
        job->address = std::string(address);
        job->inBatch = true;
        {
            std::lock_guard lock(pool_->mutex);
            pool_->submitLocked(job, false);
        }
        pending_.emplace(job->address, job);
        batch_.push_back(std::move(job));
    }
    reapIfDue();
    return false;
}

std::vector<HostLookup::Resolved> HostCache::finishLookups(
    const std::function<bool(size_t done, size_t total)>& progress, bool cancelNow) {
    struct Outcome {
        std::string address;
        std::string name;
        bool remember;
    };
    std::vector<Outcome> outcomes;
    const size_t total = batch_.size();
    if (total > 0) {
        std::unique_lock lock(pool_->mutex);
        if (!cancelNow) {
            auto nextReport = Clock::now();
            for (;;) {
                const auto now = Clock::now();
                pool_->reapLocked(now);
                const size_t done = pool_->batchFinished;
                if (done >= total) break;
                if (now >= nextReport) {
                    if (progress) {
                        lock.unlock();
                        const bool cancel = progress(done, total);
                        lock.lock();
                        if (cancel) break;
                    }
                    nextReport = Clock::now() + options_.progressInterval;
                }
                pool_->changed.wait_until(lock, nextReport);
            }
        }
        // What has not finished by now is given up: neither returned nor kept,
        // so a later load asks for it again.
        pool_->dropUnfinishedBatchLocked();
        pool_->batchFinished = 0;
        outcomes.reserve(total);
        for (const auto& job : batch_) {
            if (!detail::finished(*job)) continue;
            outcomes.push_back({job->address, storedName(*job), worthKeeping(*job)});
        }
    }
    batch_.clear();
    pending_.clear();

    std::vector<Resolved> resolved;
    resolved.reserve(outcomes.size());
    for (auto& outcome : outcomes) {
        if (outcome.remember) addRow(outcome.address, outcome.name);
        resolved.push_back({std::move(outcome.address), std::move(outcome.name)});
    }
    return resolved;
}

}  // namespace brevadin
