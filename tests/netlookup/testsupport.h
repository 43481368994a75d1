#pragma once

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "netlookup/resolver.h"

namespace brevadin::nettest {

// A folder of its own for one test, removed with everything in it afterwards.
class TempDir {
public:
    TempDir() {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "brevadin-net-XXXXXX").string();
        char* made = ::mkdtemp(tmpl.data());
        if (made != nullptr) path_ = made;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool ok() const { return !path_.empty(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// A resolver that answers from a table, counts every call and the peak number
// of calls running at once, can take a while per call, and can hold chosen
// addresses until released. Unknown addresses get the empty text.
class FakeResolver : public Resolver {
public:
    std::string reverseLookup(const std::string& address) override {
        std::chrono::milliseconds delay;
        bool hang;
        {
            std::lock_guard lock(mutex_);
            ++calls_[address];
            ++totalCalls_;
            ++inFlight_;
            peak_ = std::max(peak_, inFlight_);
            delay = delay_;
            hang = hang_.count(address) > 0 || hangAll_;
        }
        if (delay.count() > 0) std::this_thread::sleep_for(delay);
        std::unique_lock lock(mutex_);
        if (hang) released_.wait(lock, [&] { return releasedFlag_; });
        --inFlight_;
        idle_.notify_all();
        auto it = names_.find(address);
        return it == names_.end() ? std::string() : it->second;
    }

    void answer(const std::string& address, const std::string& name) {
        std::lock_guard lock(mutex_);
        names_[address] = name;
    }
    void setDelay(std::chrono::milliseconds delay) {
        std::lock_guard lock(mutex_);
        delay_ = delay;
    }
    void hang(const std::string& address) {
        std::lock_guard lock(mutex_);
        hang_.insert(address);
    }
    void hangEverything() {
        std::lock_guard lock(mutex_);
        hangAll_ = true;
    }
    // Lets every held call return.
    void release() {
        std::lock_guard lock(mutex_);
        releasedFlag_ = true;
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
        std::lock_guard lock(mutex_);
        return totalCalls_;
    }
    int peakInFlight() const {
        std::lock_guard lock(mutex_);
        return peak_;
    }
    int inFlight() const {
        std::lock_guard lock(mutex_);
        return inFlight_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable released_;
    std::condition_variable idle_;
    std::map<std::string, std::string> names_;
    std::map<std::string, int> calls_;
    std::set<std::string> hang_;
    bool hangAll_ = false;
    bool releasedFlag_ = false;
    std::chrono::milliseconds delay_{0};
    int totalCalls_ = 0;
    int inFlight_ = 0;
    int peak_ = 0;
};

}  // namespace brevadin::nettest
