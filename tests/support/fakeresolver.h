#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "netlookup/resolver.h"

namespace brevadin::testing {

// A resolver that answers from a table (unknown addresses get the empty
// text), counts every call and the peak of calls running at once, can take a
// while per call, and can hold chosen addresses until released.
class FakeResolver : public Resolver {
    template <class F>
    auto locked(F f) const {
        std::lock_guard lock(mutex_);
        return f();
    }

public:
    std::string reverseLookup(const std::string& address) override {
        std::unique_lock lock(mutex_);
        ++calls_[address];
        ++total_;
        peak_ = std::max(peak_, ++inFlight_);
        const auto delay = delay_;
        const bool hang = hang_.count(address) > 0;
        lock.unlock();
        std::this_thread::sleep_for(delay);
        lock.lock();
        if (hang) released_.wait(lock, [&] { return releasedFlag_; });
        --inFlight_;
        idle_.notify_all();
        auto it = names_.find(address);
        return it == names_.end() ? std::string() : it->second;
    }

    void answer(const std::string& address, const std::string& name) {
        locked([&] { names_[address] = name; });
    }
    void setDelay(std::chrono::milliseconds delay) {
        locked([&] { delay_ = delay; });
    }
    void hang(const std::string& address) {
        locked([&] { hang_.insert(address); });
    }
    // Lets every held call return.
    void release() {
        locked([&] { releasedFlag_ = true; });
        released_.notify_all();
    }
    // Waits until no call is running any more; false after the time limit.
    bool waitIdle(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return idle_.wait_for(lock, limit, [&] { return inFlight_ == 0; });
    }
    int calls(const std::string& address) const {
        std::lock_guard lock(mutex_);
        auto it = calls_.find(address);
        return it == calls_.end() ? 0 : it->second;
    }
    int totalCalls() const {
        return locked([&] { return total_; });
    }
    int peakInFlight() const {
        return locked([&] { return peak_; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable released_, idle_;
    std::map<std::string, std::string> names_;
    std::map<std::string, int> calls_;
    std::set<std::string> hang_;
    bool releasedFlag_ = false;
    std::chrono::milliseconds delay_{0};
    int total_ = 0, inFlight_ = 0, peak_ = 0;
};

}  // namespace brevadin::testing
